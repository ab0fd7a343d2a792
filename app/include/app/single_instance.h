// One running copy per user: a lock file held for the whole run, and a local
// socket on which a later copy asks the running one to come forward.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

namespace kestrune::app {

class SingleInstance final : public QObject {
  Q_OBJECT

 public:
  // `name` tells programs apart (tests use their own); the lock lives in the
  // user's runtime folder.
  explicit SingleInstance(QString name = DefaultName(), QObject* parent = nullptr);
  ~SingleInstance() override;

  // True when this copy now owns the lock and listens for later copies.
  bool Acquire();
  // Asks the copy that holds the lock to come forward; false when none
  // answered.
  bool AskRunningToComeForward(int timeoutMs = 1000);

  bool Owned() const { return owned_; }
  static QString DefaultName();
  QString LockPath() const;

 signals:
  // A later copy asked this one to show itself.
  void comeForward();

 private:
  void OnConnection();

  QString name_;
  std::unique_ptr<QLockFile> lock_;
  QLocalServer server_;
  bool owned_ = false;
};

}  // namespace kestrune::app
