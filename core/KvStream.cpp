#include "core/KvStream.h"

#include <cstring>
#include <utility>

TKvStream::TKvStream(std::string AExtension) : FExtension(std::move(AExtension)) {}

// The sub-streams go first, then the memory.
TKvStream::~TKvStream() { FSubStreams.reset(); }

void TKvStream::AdjustFileName(std::string& /*AFileName*/) {}

void TKvStream::StoreFileName(const std::string& /*AFileName*/) {}

TKvStream* TKvStream::NewSubStream(const std::string& AExtension, int ASize) {
  if (!FSubStreams) FSubStreams = std::make_unique<TKvStreamList>();
  return FSubStreams->NewStream(AExtension, ASize);
}

void TKvStream::AddSubStream(std::unique_ptr<TKvStream> AStream) {
  if (!FSubStreams) FSubStreams = std::make_unique<TKvStreamList>();
  FSubStreams->Add(std::move(AStream));
}

int TKvStream::GetSubStreamCount() const { return FSubStreams ? FSubStreams->GetCount() : 0; }

TKvStream* TKvStream::GetSubStream(int AIndex) const { return FSubStreams->GetStream(AIndex); }

// ---------------------------------------------------------------------------

TKvStreamList::~TKvStreamList() {
  for (auto& s : FItems) s.reset();
}

TKvStream* TKvStreamList::NewStream(const std::string& AExtension, int ASize) {
  auto s = std::make_unique<TKvStream>(AExtension);
  if (ASize > 0) {
    s->SetSize(ASize);
    s->SetPosition(0);
  }
  TKvStream* result = s.get();
  Add(std::move(s));
  return result;
}

TKvStream* TKvStreamList::NewStreamFilled(const std::string& AExtension, int ASize, uint8_t AFill) {
  TKvStream* s = NewStream(AExtension, ASize);
  if (ASize > 0) std::memset(s->GetMemory(), AFill, static_cast<size_t>(ASize));
  return s;
}

int TKvStreamList::Add(std::unique_ptr<TKvStream> AStream) {
  FItems.push_back(std::move(AStream));
  return static_cast<int>(FItems.size()) - 1;
}
