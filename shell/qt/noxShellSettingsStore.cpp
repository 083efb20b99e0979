#include "shell/qt/noxShellSettingsStore.h"

#include <QSettings>
#include <QStandardPaths>

namespace {

// "Software\Noxwell Software\Kovrel" + "Path" -> "Software/Noxwell Software/Kovrel/Path".
QString SettingsPath(const std::string& AKey, const std::string& AName) {
  QString key = QString::fromStdString(AKey);
  key.replace(QLatin1Char('\\'), QLatin1Char('/'));
  while (key.endsWith(QLatin1Char('/'))) key.chop(1);
  const QString name = QString::fromStdString(AName);
  return key.isEmpty() ? name : key + QLatin1Char('/') + name;
}

}  // namespace

TnoxIniSettingsStore::TnoxIniSettingsStore(const QString& AFileName)
    : FSettings(std::make_unique<QSettings>(AFileName, QSettings::IniFormat)) {}

TnoxIniSettingsStore::~TnoxIniSettingsStore() = default;

QString TnoxIniSettingsStore::DefaultFileName() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/Noxwell Software/Kovrel.ini");
}

QString TnoxIniSettingsStore::GetFileName() const { return FSettings->fileName(); }

bool TnoxIniSettingsStore::ReadString(const std::string& AKey, const std::string& AName, std::string& AValue) {
  const QVariant v = FSettings->value(SettingsPath(AKey, AName));
  if (!v.isValid()) return false;
  AValue = v.toString().toStdString();
  return true;
}

void TnoxIniSettingsStore::WriteString(const std::string& AKey, const std::string& AName,
                                       const std::string& AValue) {
  FSettings->setValue(SettingsPath(AKey, AName), QString::fromStdString(AValue));
  FSettings->sync();
  if (FSettings->status() != QSettings::NoError) RaiseOSError(ERROR_ACCESS_DENIED);
}
