// The download session object: the image file, the unit's messages and the
// replies to them. What it shows goes to the window through Form1.
#include "firmware/DownLoad.h"

#include <QFile>
#include <algorithm>
#include <cstring>

#include "app/Dialogs.h"
#include "app/Log.h"
#include "monitor/Monitor.h"

DownLoad downloadSession;

namespace {

constexpr TColor kShapeGreen = 0x008000;
constexpr TColor kShapeYellow = 0x00FFFF;
constexpr TColor kShapeRed = 0x0000FF;

void PaintShapes(std::initializer_list<Shape*> shapes, TColor color) {
  for (Shape* shape : shapes) shape->setColor(color);
}

bool Ask(const char* caption, const char* text) {
  return CurrentDialogs().Confirm(QString::fromUtf8(caption), QString::fromUtf8(text));
}

// Record n's data into out (room for chunkSize bytes); its length, or -1 when
// the record cannot be read or holds more than a chunk.
int ReadRecord(QFile& file, int n, int chunkSize, std::uint8_t* out) {
  if (!file.seek(qint64(RecordOffset(n, chunkSize)))) return -1;
  std::uint8_t head[kRecordHeadSize];
  if (file.read(reinterpret_cast<char*>(head), sizeof head) != qint64(sizeof head)) return -1;
  const int length = head[2] | head[3] << 8;
  if (length > chunkSize) return -1;
  if (file.read(reinterpret_cast<char*>(out), length) != length) return -1;
  return length;
}

}  // namespace

void DownloadLog(const QString& line) {
  if (Form1) Form1->Memo3->appendPlainText(line);
}

DownLoad::DownLoad() = default;
DownLoad::~DownLoad() = default;

void DownLoad::Start() {
  active = true;
  finished = false;
  state = kWaitFirstReport;
  if (!Form1) return;
  Form1->DownloadPaceStarted();
  Form1->BitBtn21->setEnabled(false);
  // A new image would be served half-way through this one.
  Form1->BitBtn22->setEnabled(false);
  Form1->BitBtn40->setEnabled(true);
  Form1->ProgressBar1->setVisible(true);
  Form1->TabSheet2->setEnabled(false);
  Form1->TabSheet3->setEnabled(false);
}

void DownLoad::Stop() {
  active = false;
  state = kWaitFirstReport;
  Close();
  if (!Form1) return;
  Form1->DownloadPaceStopped();
  Form1->BitBtn21->setEnabled(true);
  Form1->BitBtn22->setEnabled(true);
  Form1->BitBtn40->setVisible(false);
  Form1->BitBtn40->setEnabled(false);
  Form1->BitBtn40->setVisible(true);
  Form1->ProgressBar1->setValue(0);
  Form1->ProgressBar1->setVisible(false);
  Form1->TabSheet2->setEnabled(true);
  Form1->TabSheet3->setEnabled(true);
}

bool DownLoad::Open(std::string& startCommand) {
  Close();
  if (fileName.empty()) return false;
  auto file = std::make_unique<QFile>(QString::fromStdString(fileName));
  // Every chunk is read from the file as it is now.
  if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return false;
  startCommand = kStartText;
  std::uint8_t head[kImageHeaderSize];
  if (file->read(reinterpret_cast<char*>(head), sizeof head) != qint64(sizeof head)) return false;
  const ImageHeader header = ReadImageHeader(head);
  if (!ImageHeaderUsable(header, std::uint64_t(file->size()))) return false;
  hardware = header.hardware;
  project = header.project;
  build = header.build;
  chunkCount = header.chunkCount;
  chunkSize = header.chunkSize;
  imageFile = std::move(file);
  return true;
}

void DownLoad::Close() { imageFile.reset(); }

bool DownLoad::HasImage() const { return imageFile && imageFile->isOpen(); }

ProcessResult DownLoad::Process(std::span<std::uint8_t> buffer, std::size_t count,
                                std::size_t& replyLength, std::size_t& replyAt) {
  replyLength = 0;
  replyAt = 0;
  DownloadLog("Download state: " + QString::number(state));
  const ByteSpan bytes(buffer.data(), count);

  if (state == kWaitFirstReport) {
    if (count == kFirstReportSize) {
      DownloadLog("First Report Encontrado");
      if (CheckFirstReport(bytes)) {
        state = kServing;
        BuildAccept(buffer.data(), replyLength);
      } else {
        BuildReject(buffer.data(), replyLength);
      }
      return ProcessResult::FirstReport;
    }
    if (count == kFinalPacketSize) {
      if (!CheckFinalPacket(bytes)) return ProcessResult::Message11;
      Stop();
      return ProcessResult::Finished;
    }
    return ProcessResult::Nothing;
  }

  if (state == kServing) {
    if (count < kChunkRequestSize) return ProcessResult::Nothing;
    const auto at = FindChunkRequest(bytes);
    if (!at) return ProcessResult::Nothing;
    switch (AnswerChunkRequest(buffer, *at, replyLength)) {
      case ChunkAnswer::Refused:
        DownloadLog("Falla en pedido de CHUNK!");
        break;
      case ChunkAnswer::LastChunk:
        state = kWaitFinal;
        [[fallthrough]];
      case ChunkAnswer::Chunk:
        DownloadLog("bytes enviados: " + QString::number(replyLength));
        replyAt = *at;
        break;
      case ChunkAnswer::Unreadable:
        break;
    }
    return ProcessResult::ChunkRequest;
  }

  if (state == kWaitFinal) {
    if (count < kFinalPacketSize) return ProcessResult::Nothing;
    if (!CheckFinalPacket(bytes.first(kFinalPacketSize))) return ProcessResult::Message11;
    finished = true;
    Stop();
    return ProcessResult::Finished;
  }
  return ProcessResult::Nothing;
}

bool DownLoad::CheckFirstReport(ByteSpan report) {
  if (report.size() < kFirstReportSize || !ChecksumMatches(report.first(kFirstReportSize)))
    return false;
  DownloadLog("First Report Recibido");
  if (report[0] != kReportMessage) return false;

  const UnitReport unit = ReadFirstReport(report);
  const QString hardwareText = QString::number(unit.hardware);
  const QString projectText = QString::fromStdString(UnitProjectText(unit.project));
  const QString buildText = QString::number(unit.build);
  DownloadLog(hardwareText);
  DownloadLog(projectText);
  DownloadLog(buildText);
  DownloadLog("IMEI: " + FromCp1252(unit.imei));
  if (!Form1) return false;
  Form1->Label158->setText(hardwareText);
  Form1->Label159->setText(projectText);
  Form1->Label160->setText(buildText);

  // A session the unit started by itself may have no image to send.
  if (!HasImage()) {
    DownloadLog(fileName.empty()
                    ? QString("First Report rechazado: no hay archivo de firmware elegido")
                    : "First Report rechazado: no se puede abrir " +
                          QString::fromStdString(fileName));
    return false;
  }
  if (unit.hardware != hardware) {
    PaintShapes({Form1->Shape1}, kShapeRed);
    return Ask("Error de Hardware", "El Hardaware no coincide, desea continuar?");
  }
  PaintShapes({Form1->Shape1}, kShapeGreen);
  if (unit.project != project) {
    PaintShapes({Form1->Shape2, Form1->Shape3}, kShapeYellow);
    return Ask("Error de Proyecto", "El proyecto no coincide, desea continuar?");
  }
  PaintShapes({Form1->Shape2}, kShapeGreen);
  if (build > unit.build) {
    PaintShapes({Form1->Shape3}, kShapeGreen);
    return true;
  }
  PaintShapes({Form1->Shape3}, kShapeYellow);
  return Ask("Error de build", " Build seleccionado menor o igual al cargado \n Desea continuar?");
}

void DownLoad::BuildAccept(std::uint8_t* buffer, std::size_t& length) const {
  const auto message = AcceptMessage(Header());
  std::memcpy(buffer, message.data(), message.size());
  length = message.size();
}

void DownLoad::BuildReject(std::uint8_t* buffer, std::size_t& length) const {
  const auto message = RejectMessage(Header());
  std::memcpy(buffer, message.data(), message.size());
  length = message.size();
}

ChunkAnswer DownLoad::AnswerChunkRequest(std::span<std::uint8_t> buffer, std::size_t at,
                                         std::size_t& replyLength) {
  replyLength = 0;
  if (at + kChunkRequestSize > buffer.size()) return ChunkAnswer::Refused;
  std::uint8_t* reply = buffer.data() + at;
  if (!ChunkRequestValid(ByteSpan(reply, kChunkRequestSize), Header())) return ChunkAnswer::Refused;

  const int n = ReadChunkRequest(ByteSpan(reply, kChunkRequestSize)).chunk;
  if (Form1 && chunkCount > 1)
    Form1->ProgressBar1->setValue(std::min(100, n * 100 / (chunkCount - 1)));
  if (Form1) Form1->DownloadChunkServed(n, chunkCount);
  const bool last = n >= chunkCount - 1;
  const QString unanswered = "CHUNK " + QString::number(n) + " sin respuesta: ";
  if (!HasImage()) {
    DownloadLog(unanswered + "no hay archivo de firmware abierto");
    return ChunkAnswer::Unreadable;
  }
  if (buffer.size() - at < (last ? kLastChunkSize : kChunkDataSize)) {
    DownloadLog(unanswered + "sin lugar para la respuesta");
    return ChunkAnswer::Unreadable;
  }

  if (last) {
    DownloadLog("Ultimo CHUNK!!");
    reply[11] = 0;
    reply[12] = 0;
    replyLength = kLastChunkSize;
    PutChecksum(std::span(reply, replyLength));
    Close();
    return ChunkAnswer::LastChunk;
  }

  const int length = ReadRecord(*imageFile, n, chunkSize, reply + 13);
  if (length < 0) {
    DownloadLog(unanswered + "no se puede leer del archivo " + QString::fromStdString(fileName));
    return ChunkAnswer::Unreadable;
  }
  // A short record goes out padded to a whole chunk.
  std::fill(reply + 13 + length, reply + 13 + kChunkSize, std::uint8_t(0xFF));
  reply[11] = std::uint8_t(kChunkSize >> 8);
  reply[12] = std::uint8_t(kChunkSize & 0xFF);
  replyLength = kChunkDataSize;
  PutChecksum(std::span(reply, replyLength));
  DownloadLog("Chunk pedido: " + QString::number(n) + " - " +
              QString::number(ByteSum(ByteSpan(reply, replyLength - 2))));
  return ChunkAnswer::Chunk;
}

bool DownLoad::CheckFinalPacket(ByteSpan bytes) {
  if (!IsFinalPacket(bytes)) return false;
  DownloadLog("Paquete de finalizacion");
  return true;
}
