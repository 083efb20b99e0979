#include "shell/noxShellBaseExtensionFilters.h"

#include <cctype>
#include <mutex>

namespace {

std::mutex ProviderLock;
TnoxShellTypeNameProvider Provider;

std::string ShellTypeName(const std::string& AExtension) {
  TnoxShellTypeNameProvider p;
  {
    std::lock_guard<std::mutex> l(ProviderLock);
    p = Provider;
  }
  std::string name;
  if (p && p(AExtension, name)) return name;
  std::string upper = AExtension;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper + " File";
}

}  // namespace

void SetShellTypeNameProvider(TnoxShellTypeNameProvider AProvider) {
  std::lock_guard<std::mutex> l(ProviderLock);
  Provider = std::move(AProvider);
}

int TnoxShellFilterArray::Add(const std::string& APattern) {
  FExtensions.push_back(APattern);
  FDescriptions.emplace_back();
  const int index = GetCount() - 1;
  SetExtension(index, APattern);
  return index;
}

int TnoxShellFilterArray::AddWithDescription(const std::string& APattern, const std::string& ADescription) {
  FExtensions.push_back(APattern);
  FDescriptions.push_back(ADescription);
  return GetCount() - 1;
}

void TnoxShellFilterArray::CheckIndex(int AIndex) const {
  if (AIndex < 0 || AIndex >= GetCount())
    throw EArgumentException("List index out of bounds (" + std::to_string(AIndex) + ")");
}

const std::string& TnoxShellFilterArray::GetExtension(int AIndex) const {
  CheckIndex(AIndex);
  return FExtensions[AIndex];
}

const std::string& TnoxShellFilterArray::GetDescription(int AIndex) const {
  CheckIndex(AIndex);
  return FDescriptions[AIndex];
}

void TnoxShellFilterArray::SetExtension(int AIndex, const std::string& APattern) {
  CheckIndex(AIndex);
  FExtensions[AIndex] = APattern;
  const std::string first = APattern.substr(0, APattern.find(';'));
  // The extension of the first pattern as a file name's: from its last "."
  // on, unless a folder separator follows that dot.
  std::string ext;
  const size_t dot = first.find_last_of('.');
  if (dot != std::string::npos && first.find_first_of("\\/:", dot) == std::string::npos) ext = first.substr(dot + 1);
  FDescriptions[AIndex] = ShellTypeName(ext) + " (" + APattern + ")";
}

void TnoxShellFilterArray::SetDescription(int AIndex, const std::string& ADescription) {
  CheckIndex(AIndex);
  FDescriptions[AIndex] = ADescription;
}

std::string TnoxShellFilterArray::GetFilter() const {
  std::string out;
  for (int i = 0; i < GetCount(); ++i) {
    if (i) out += '|';
    out += FDescriptions[i] + '|' + FExtensions[i];
  }
  return out;
}
