// kestrune-screenshots OUTPUT-FOLDER [FAMILY...]: renders the program's
// windows offscreen into PNG files, OUTPUT-FOLDER/<family>/<picture>.png, for
// a look at them as a user would see them. Without families, every one.
#include <QApplication>
#include <QDir>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

#include "shots.h"

namespace kestrune::shots {

std::map<QString, Family>& Families() {
  static std::map<QString, Family> families;
  return families;
}

bool Save(QWidget& widget, const QString& folder, const char* name) {
  // Layout requests go round a few times (page, sheet, window).
  for (int i = 0; i < 4; ++i) QApplication::processEvents();
  const QString path = QDir(folder).filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
  if (!widget.grab().save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

}  // namespace kestrune::shots

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  const QStringList args = QApplication::arguments();
  if (args.size() < 2) {
    std::fprintf(stderr, "usage: kestrune-screenshots OUTPUT-FOLDER [FAMILY...]\n");
    return 2;
  }
  QStringList wanted = args.mid(2);
  if (wanted.isEmpty()) {
    for (const auto& [name, family] : kestrune::shots::Families()) wanted << name;
  }
  int failures = 0;
  for (const QString& name : wanted) {
    const auto found = kestrune::shots::Families().find(name);
    if (found == kestrune::shots::Families().end()) {
      std::fprintf(stderr, "kestrune-screenshots: no family %s\n", qPrintable(name));
      ++failures;
      continue;
    }
    const QString folder = QDir(args[1]).filePath(name);
    if (!QDir().mkpath(folder) || !found->second(folder)) {
      std::fprintf(stderr, "kestrune-screenshots: %s: pictures not written\n", qPrintable(name));
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}
