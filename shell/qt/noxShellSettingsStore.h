// The program's settings store: string values of key paths kept in an INI
// file (by default Kovrel.ini in the user's configuration folder, under
// "Noxwell Software").
#pragma once

#include <QString>
#include <memory>

#include "shell/noxShellBaseExtensionSystem.h"

class QSettings;

class TnoxIniSettingsStore : public TnoxSettingsStore {
public:
  explicit TnoxIniSettingsStore(const QString& AFileName = DefaultFileName());
  ~TnoxIniSettingsStore() override;

  static QString DefaultFileName();
  QString GetFileName() const;

  bool ReadString(const std::string& AKey, const std::string& AName, std::string& AValue) override;
  // Writes through to the file; raises EOSError 5 when the file cannot be written.
  void WriteString(const std::string& AKey, const std::string& AName, const std::string& AValue) override;

private:
  std::unique_ptr<QSettings> FSettings;
};
