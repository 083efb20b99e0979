// Output streams: each native file that a conversion produces is a memory
// stream that knows the extension of its file, optionally with companion
// sub-streams saved beside it under the same name with their own extensions.
#pragma once

#include "rtl/KvClasses.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TKvStreamList;

class TKvStream : public TMemoryStream {
public:
  // AExtension is the file extension without the dot ("scr"); the stream
  // starts empty.
  explicit TKvStream(std::string AExtension);
  ~TKvStream() override;

  const std::string& GetExtension() const { return FExtension; }

  // Called with the file name (without folder) that the user chose, before
  // the stream is saved; may change it.
  virtual void AdjustFileName(std::string& AFileName);
  // Called with the final file name (without folder) just before the bytes
  // are written; a platform stream may put the name into its header.
  virtual void StoreFileName(const std::string& AFileName);

  // A new zero-filled sub-stream of ASize bytes, owned by this stream.
  TKvStream* NewSubStream(const std::string& AExtension, int ASize);
  // Takes ownership of AStream.
  void AddSubStream(std::unique_ptr<TKvStream> AStream);
  int GetSubStreamCount() const;
  TKvStream* GetSubStream(int AIndex) const;

private:
  std::string FExtension;
  std::unique_ptr<TKvStreamList> FSubStreams;  // created on first use
};

// An owning, ordered list of output streams.
class TKvStreamList {
public:
  TKvStreamList() = default;
  ~TKvStreamList();  // frees the streams from the first to the last
  TKvStreamList(const TKvStreamList&) = delete;
  TKvStreamList& operator=(const TKvStreamList&) = delete;

  // A new TKvStream of ASize zero bytes (empty when ASize <= 0), appended
  // and owned by the list, positioned at 0.
  TKvStream* NewStream(const std::string& AExtension, int ASize);
  // The same with every byte AFill.
  TKvStream* NewStreamFilled(const std::string& AExtension, int ASize, uint8_t AFill);
  // Appends a stream the caller made (typically of a platform subclass);
  // the list owns it from then on. Returns its index.
  int Add(std::unique_ptr<TKvStream> AStream);

  int GetCount() const { return static_cast<int>(FItems.size()); }
  TKvStream* GetStream(int AIndex) const { return FItems[static_cast<size_t>(AIndex)].get(); }
  const std::string& GetExtension(int AIndex) const { return GetStream(AIndex)->GetExtension(); }

private:
  std::vector<std::unique_ptr<TKvStream>> FItems;
};
