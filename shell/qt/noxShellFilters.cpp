#include "shell/qt/noxShellFilters.h"

#include <QMimeDatabase>

#include "shell/noxShellBaseExtensionFilters.h"

namespace {

QString QtPatterns(const QString& APattern) {
  QStringList out;
  for (const QString& p : APattern.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
    const QString t = p.trimmed();
    if (t == QLatin1String("*.*") || t == QLatin1String("*")) {
      out << QStringLiteral("*");
      continue;
    }
    for (const QString& v : {t.toLower(), t.toUpper()})
      if (!out.contains(v)) out << v;
  }
  out.removeDuplicates();
  return out.join(QLatin1Char(' '));
}

}  // namespace

QStringList FilterToQtNameFilters(const std::string& AFilter) {
  QStringList result;
  if (AFilter.empty()) return result;
  const QStringList parts = QString::fromStdString(AFilter).split(QLatin1Char('|'));
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString desc = parts[i];
    const QString pattern = parts[i + 1];
    const QString suffix = QStringLiteral(" (") + pattern + QLatin1Char(')');
    if (desc.endsWith(suffix)) desc.chop(suffix.size());
    result << desc + QStringLiteral(" (") + QtPatterns(pattern) + QLatin1Char(')');
  }
  return result;
}

QString FilterToQtFilterString(const std::string& AFilter) {
  return FilterToQtNameFilters(AFilter).join(QStringLiteral(";;"));
}

void InstallMimeTypeNameProvider() {
  SetShellTypeNameProvider([](const std::string& ext, std::string& name) {
    if (ext.empty()) return false;
    static const QMimeDatabase db;
    const QMimeType t = db.mimeTypeForFile(QStringLiteral("1.") + QString::fromStdString(ext), QMimeDatabase::MatchExtension);
    if (!t.isValid() || t.isDefault() || t.comment().isEmpty()) return false;
    name = t.comment().toStdString();
    return true;
  });
}
