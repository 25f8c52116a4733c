#include "inventory/Inventory.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include "inventory/Store.h"

// Lives on the inventory's thread: the writing connection and the sharing timer.
struct Inventory::Worker {
  std::unique_ptr<InventoryStore> store;
  std::unique_ptr<QTimer> timer;
  QString server;
  bool shareDue = false;
};

QString Inventory::DefaultPath() {
  return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath("inventory.sqlite");
}

Inventory::Inventory(QString path, QObject* parent)
    : QObject(parent), path_(std::move(path)), worker_(std::make_shared<Worker>()) {
  thread_ = new QThread(this);
  thread_->setObjectName("inventory");
  workerObject_ = new QObject;
  workerObject_->moveToThread(thread_);
  connect(thread_, &QThread::finished, workerObject_, &QObject::deleteLater);
  thread_->start(QThread::LowPriority);
  const auto worker = worker_;
  QMetaObject::invokeMethod(workerObject_, [this, worker, path = path_] {
    worker->store = std::make_unique<InventoryStore>(path);
    const bool ok = worker->store->Open();
    const QString error = worker->store->error(), aside = worker->store->setAside();
    worker->timer = std::make_unique<QTimer>();
    worker->timer->setInterval(30000);
    QObject::connect(worker->timer.get(), &QTimer::timeout, workerObject_, [this] { ShareNow(); });
    worker->timer->start();
    QMetaObject::invokeMethod(this, [this, ok, error, aside] {
      ready_ = ok;
      if (!aside.isEmpty())
        Tell("aside", QString("El inventario %1 estaba dañado: se guardó aparte como %2 y se empezó uno nuevo.")
                          .arg(QDir::toNativeSeparators(path_), QDir::toNativeSeparators(aside)));
      if (!ok)
        Tell("open", "No se puede usar el inventario de equipos (" + error +
                         "). Los equipos se configuran igual; esta vez no se registra nada.");
    });
  });
}

Inventory::~Inventory() {
  const auto worker = worker_;
  QMetaObject::invokeMethod(workerObject_, [worker] {
    worker->timer.reset();
    worker->store.reset();
  }, Qt::BlockingQueuedConnection);
  thread_->quit();
  thread_->wait();
  reader_.reset();
}

void Inventory::Tell(const QString& key, const QString& text) {
  if (told_.contains(key)) return;
  told_ << key;
  emit Notice(text);
}

void Inventory::Wait() {
  QMetaObject::invokeMethod(workerObject_, [] {}, Qt::BlockingQueuedConnection);
  QCoreApplication::sendPostedEvents(this);
}

InventoryStore* Inventory::Reader() {
  if (!ready_) return nullptr;
  if (!reader_) {
    reader_ = std::make_unique<InventoryStore>(path_);
    if (!reader_->OpenForReading()) {
      reader_.reset();
      return nullptr;
    }
  }
  return reader_.get();
}

void Inventory::SetServer(const QString& uri) {
  server_ = uri.trimmed();
  const auto worker = worker_;
  QMetaObject::invokeMethod(workerObject_, [worker, uri = server_] { worker->server = uri; });
  ShareNow();
}

void Inventory::SetShareInterval(int seconds) {
  const auto worker = worker_;
  QMetaObject::invokeMethod(workerObject_, [worker, seconds] {
    if (worker->timer) worker->timer->setInterval(seconds * 1000);
  });
}

void Inventory::ShareNow() {
  const auto worker = worker_;
  QMetaObject::invokeMethod(workerObject_, [this, worker] {
    // Passes asked for before one starts make one pass, not many.
    if (worker->shareDue) return;
    worker->shareDue = true;
    QMetaObject::invokeMethod(workerObject_, [this, worker] {
      worker->shareDue = false;
      if (!worker->store || !worker->store->IsOpen()) return;
      ShareResult result;
      if (worker->server.isEmpty())
        result.pending = worker->store->PendingCount();
      else
        result = ShareOnce(*worker->store, worker->server);
      QMetaObject::invokeMethod(this, [this, result] {
        lastShare_ = result;
        emit Shared();
      });
    }, Qt::QueuedConnection);
  });
}

void Inventory::LinkChanged() {
  unit_ = UnitIdentity();
  linkKnown_ = false;
}

bool Inventory::SameLink(const RecordContext& c) const {
  return linkKnown_ && c.port == link_.port && c.remote == link_.remote && (!c.remote || c.station == link_.station);
}

void Inventory::Identified(const RecordContext& context, const UnitIdentity& unit) {
  // A TSD ID read on this link belongs to this unit unless another unit answered since.
  const bool same = SameLink(context) && (unit_.imei.isEmpty() || unit_.imei == unit.imei);
  const QString tsd = same ? unit_.tsdId : QString();
  unit_ = unit;
  if (unit_.tsdId.isEmpty()) unit_.tsdId = tsd;  // joins its IMEI now
  link_ = context;
  linkKnown_ = true;
  InventoryRecord record = NewRecord(Operation::kIdentification, "OK", context);
  record.unit = unit_;
  Submit(std::move(record));
}

void Inventory::ConfigurationRead(const RecordContext& context, const QString& operation, const QString& result,
                                  const QString& tsdId, std::string profile, std::string details) {
  if (!SameLink(context)) {
    unit_ = UnitIdentity();
    link_ = context;
    linkKnown_ = true;
  }
  if (!tsdId.trimmed().isEmpty()) unit_.tsdId = tsdId.trimmed();
  InventoryRecord record = NewRecord(operation, result, context);
  record.unit = unit_;
  // The configuration carries the TSD ID; only the identification says the rest.
  record.unit.hardware = record.unit.project = record.unit.build = -1;
  record.unit.projectName = record.unit.modem = record.unit.imsi = record.unit.date = QString();
  record.configuration = std::move(profile);
  record.details = std::move(details);
  Submit(std::move(record));
}

void Inventory::Record(const RecordContext& context, const QString& operation, const QString& result,
                       std::string details) {
  InventoryRecord record = NewRecord(operation, result, context);
  if (SameLink(context)) {
    record.unit.imei = unit_.imei;
    record.unit.tsdId = unit_.tsdId;
  }
  record.details = std::move(details);
  Submit(std::move(record));
}

void Inventory::Submit(InventoryRecord record) {
  const auto worker = worker_;
  QMetaObject::invokeMethod(workerObject_, [this, worker, record = std::move(record)] {
    const bool ok = worker->store && worker->store->IsOpen() && worker->store->Add(record);
    const QString error = worker->store ? worker->store->error() : QString();
    QMetaObject::invokeMethod(this, [this, ok, error] {
      if (ok) {
        emit Recorded();
        return;
      }
      ++failures_;
      if (ready_)
        Tell("add", "No se pudo guardar en el inventario de equipos (" + error +
                        "). Los equipos se configuran igual.");
    });
    if (ok && !worker->server.isEmpty()) ShareNow();
  });
}
