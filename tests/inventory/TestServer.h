// A PostgreSQL server of a test's own: initdb in a temporary folder, a Unix
// socket, no TCP port; as user nobody when the test runs as root.
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <unistd.h>

inline QString PgBin(const QString& program) {
  QDir lib("/usr/lib/postgresql");
  QStringList versions = lib.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
  for (auto it = versions.rbegin(); it != versions.rend(); ++it) {
    const QString path = lib.filePath(*it + "/bin/" + program);
    if (QFile::exists(path)) return path;
  }
  return QString();
}

class TestServer {
 public:
  TestServer() : dir_(QDir::tempPath() + "/qirel-pg-XXXXXX") {
    if (PgBin("initdb").isEmpty()) {
      why_ = "no PostgreSQL server binaries under /usr/lib/postgresql (Debian's postgresql package)";
      return;
    }
    if (!QSqlDatabase::isDriverAvailable("QPSQL")) {
      why_ = "Qt's PostgreSQL driver (libqt6sql6-psql) is not installed";
      return;
    }
    if (geteuid() == 0) {
      if (QProcess::execute("chown", {"nobody", dir_.path()}) != 0) {
        why_ = "cannot give the server's folder to user nobody";
        return;
      }
      runAs_ = {"runuser", "-u", "nobody", "--"};
    }
    QProcess::execute("chmod", {"0700", dir_.path()});
    if (Run({PgBin("initdb"), "-D", Data(), "-U", "qirel", "--auth=trust", "-E", "UTF8", "--no-sync"}) != 0)
      why_ = "initdb failed";
  }
  ~TestServer() { Stop(); }
  const QString& Why() const { return why_; }
  QString Data() const { return dir_.path() + "/data"; }

  bool Start() {
    const QString options = "-k " + dir_.path() + " -c listen_addresses= -c fsync=off";
    running_ = Run({PgBin("pg_ctl"), "-D", Data(), "-l", dir_.path() + "/log", "-o", options, "-w", "-t", "120", "start"}) == 0;
    return running_;
  }
  bool Stop() {
    if (!running_) return true;
    running_ = Run({PgBin("pg_ctl"), "-D", Data(), "-m", "fast", "-w", "-t", "120", "stop"}) != 0;
    return !running_;
  }
  QString Uri() const { return "postgresql:///postgres?host=" + dir_.path() + "&user=qirel&sslmode=disable"; }

  // How many rows the server holds, and how many distinct ids among them.
  std::pair<int, int> Count() const {
    int rows = -1, ids = -1;
    {
      QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "check");
      db.setHostName(dir_.path());
      db.setUserName("qirel");
      db.setDatabaseName("postgres");
      if (db.open()) {
        QSqlQuery q(db);
        if (q.exec("SELECT count(*), count(DISTINCT id) FROM qirel_records") && q.next()) {
          rows = q.value(0).toInt();
          ids = q.value(1).toInt();
        }
      }
      db.close();
    }
    QSqlDatabase::removeDatabase("check");
    return {rows, ids};
  }

 private:
  int Run(QStringList command) {
    command = runAs_ + command;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(dir_.path());
    process.start(command.takeFirst(), command);
    if (!process.waitForFinished(120000)) return -1;
    if (process.exitCode() != 0) qWarning("%s", process.readAll().constData());
    return process.exitCode();
  }

  QTemporaryDir dir_;
  QStringList runAs_;
  QString why_;
  bool running_ = false;
};
