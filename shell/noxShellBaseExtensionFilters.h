// File-dialog filters: patterns with their descriptions, joined into the
// "description|pattern|..." text of the open and save dialogs.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "rtl/KvSysUtils.h"

// Looks up the type name the desktop shows for a file extension (without the
// dot); false when it has none. Unset, every lookup falls back to
// "<EXTENSION> File". The Qt layer installs one over the MIME database.
using TnoxShellTypeNameProvider = std::function<bool(const std::string& AExtension, std::string& ATypeName)>;
void SetShellTypeNameProvider(TnoxShellTypeNameProvider AProvider);

class TnoxShellFilterArray : public TObject {
public:
  // Appends the pattern ("*.png", or several joined by ";") with the shell's
  // description of its first pattern's type.
  int Add(const std::string& APattern);
  // Appends the pattern and the description exactly as given.
  int AddWithDescription(const std::string& APattern, const std::string& ADescription);
  int GetCount() const { return static_cast<int>(FExtensions.size()); }
  // An index out of range raises EArgumentException.
  const std::string& GetExtension(int AIndex) const;
  const std::string& GetDescription(int AIndex) const;
  // Stores the pattern and rebuilds the entry's description: the type name of
  // the first pattern's extension, then " (" the whole pattern ")".
  void SetExtension(int AIndex, const std::string& APattern);
  void SetDescription(int AIndex, const std::string& ADescription);
  // D0|P0|D1|P1...; empty for no entries.
  std::string GetFilter() const;

private:
  void CheckIndex(int AIndex) const;
  std::vector<std::string> FExtensions;
  std::vector<std::string> FDescriptions;
};
