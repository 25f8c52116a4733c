// The main window. Its member functions live in the folder of the subsystem
// they belong to: app/ builds the window, link/ connects, protocol/ receives
// and dispatches, monitor/ shows the live unit, config/ holds one file per
// register block, profile/ the JSON profiles, firmware/ the download.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QProgressBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/Controls.h"
#include "app/Dialogs.h"
#include "firmware/DownloadEta.h"
#include "firmware/Preflight.h"
#include "inventory/Record.h"
#include "profile/Profile.h"
#include "link/PortList.h"
#include "monitor/Consoles.h"
#include "protocol/ByteSource.h"
#include "protocol/Capture.h"
#include "protocol/Frames.h"
#include "protocol/Replay.h"

struct BlockSpec;
struct HardwareId;
class SafeConfig;
class Inventory;
class InventoryDialog;
class QBoxLayout;
class QSettings;

// How a request goes out; most take the defaults.
struct SendOptions {
  bool purge = true;   // discard unsent output first
  bool remote = true;  // the station prefix in remote mode
};

class PortWatch;
class Trends;

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // Runs a handler the way the toolkit does: an exception that escapes it is
  // shown as an error message and the program goes on.
  void Guarded(const std::function<void()>& handler);

  // Status bar panel 0.
  void SetStatus(const QString& text);
  QString StatusText() const;

  // Control lookup by name, ignoring case.
  QObject* FindComponent(const QString& name) const;

  // ---- app/: creation -------------------------------------------------------
  void FormCreate();

  // ---- link/: connection control and supervision ----------------------------
  void LabeledEdit1KeyPress(QChar& key);
  void BitBtn1Click();
  void BitBtn2Click();
  void RadioGroup2Click();
  void Timer3Timer();
  void Timer4Timer();
  void ShowDisconnected();
  void CheckSilence();
  bool IsConnected() const;

  // ---- protocol/: sending, receiver and dispatcher -----------------------------
  bool IsRemote() const;
  // Purge, prefix, write: 1 when every byte was written.
  int SendRequest(ByteVector frame, SendOptions options = {});
  // The send sequence; only a frame written in full sets the pending request
  // and shows its status text (none when status is null).
  bool SendFrame(ByteVector frame, int request, const char* status, SendOptions options = {});
  void SetPending(int request);
  void Timer1Timer();
  void Timer2Timer();
  void RefreshWindow();

  // ---- monitor/: telemetry, trace and consoles --------------------------------
  void DecodeTelemetry(const std::uint8_t* bytes, int count);
  // Takes the line as the unit's 8-bit text; may rewrite it (the signal line).
  void InterpretTraceLine(std::string line);
  void BitBtn23Click();  // "&Limpiar"
  void BitBtn24Click();  // "&Iniciar Logeo"
  void BitBtn25Click();  // "De&tener Logeo"
  // Console output is gathered during a receiver tick and shown once at its end.
  void AppendConsole(QPlainTextEdit* memo, std::string_view line);
  void FlushConsoles();

  // ---- monitor/: commands and identification ----------------------------------
  void botonOn1Click();
  void botonOff1Click();
  void botonOn2Click();
  void botonOff2Click();
  void BitBtn19Click();  // "AUTOMATICO"
  void BitBtn20Click();  // "MANUAL"
  void BitBtn36Click();  // "&Reset Equipo"
  void BitBtn17Click();  // "&Cfg Default"
  void BitBtn18Click();  // "&Forzar Desconexion"
  void BitBtn15Click();  // "Contadores a 0"
  void BitBtn3Click();   // "Reset" of input 2 on "Estado"
  void BitBtn6Click();   // every other input "Reset"
  void BitBtn30Click();  // "Enviar Hora"
  void SendCoil(std::uint16_t coil, bool on, int request, const char* status,
                SendOptions options = {});
  void BitBtn7Click();  // "Identificar Hardware"
  void DecodeHardwareId(const std::uint8_t* payload);
  void ApplyPageSet(int project);

  // ---- config/: one block per file ----------------------------------------------
  void BitBtn4Click();  // digital output "Leer"
  void BitBtn5Click();  // digital output "Escribir"
  void DecodeDigitalOutput(const std::uint8_t* payload);
  void ShowPulseMode(bool pulse);
  void RadioButton1Click();
  void RadioButton1MouseUp();
  void RadioButton3Click();
  void BitBtn31Click();  // inputs 1-8 "Leer"
  void BitBtn32Click();  // inputs 9-16 "Leer"
  void BitBtn33Click();  // inputs 1-8 "Escribir"
  void BitBtn44Click();  // inputs 9-16 "Escribir"
  std::array<std::uint8_t, 12> EncodeDigitalInputs(int group);
  void DecodeDigitalInputs(int group, const std::uint8_t* payload);
  void BitBtn86Click();  // inputs 1-4 "Leer"
  void BitBtn87Click();  // inputs 1-4 "Escribir"
  void BitBtn51Click();  // inputs 5-8 "Leer"
  void BitBtn52Click();  // inputs 5-8 "Escribir"
  std::array<std::uint8_t, 40> EncodeAnalogInputs(int group);
  void DecodeAnalogInputs(int group, const std::uint8_t* payload);
  void BitBtn34Click();  // general "Leer"
  void BitBtn35Click();  // general "Escribir"
  void BitBtn39Click();  // "Restore"
  std::array<std::uint8_t, 78> EncodeTsdConfig();
  void DecodeTsdConfig(const std::uint8_t* payload);
  void BitBtn28Click();  // serial port 2 "Leer"
  void BitBtn29Click();  // serial port 2 "Escribir"
  std::array<std::uint8_t, 14> EncodeSerialPort2();
  void DecodeSerialPort2(const std::uint8_t* payload);
  void BitBtn37Click();  // SMS "Leer"
  void BitBtn38Click();  // SMS "Escribir"
  std::array<std::uint8_t, 70> EncodeSmsConfig();
  void DecodeSmsConfig(const std::uint8_t* payload);
  void BitBtn9Click();   // digital Modbus table "Leer"
  void BitBtn10Click();  // analog Modbus table "Leer"
  void BitBtn12Click();  // digital Modbus table "Escribir"
  void BitBtn13Click();  // analog Modbus table "Escribir"
  void BitBtn64Click();  // "Limpiar" under the digital grid
  void BitBtn65Click();  // "Limpiar" under the analog grid
  void modbusGrid1KeyPress(QChar& key);
  void modbusGrid2KeyPress(QChar& key);
  ByteVector BuildModbusTableWrite(int table);
  ByteVector ModbusTablePayload(int table);
  void DecodeModbusTable(int table, const std::uint8_t* payload);
  void BitBtn16Click();  // digital tags "Leer"
  void BitBtn61Click();  // analog tags "Leer"
  void BitBtn62Click();  // digital tags "Escribir"
  void BitBtn63Click();  // analog tags "Escribir"
  void DecodeTagTexts(StringGrid* grid, int tags, const std::uint8_t* payload);

  // ---- profile/: configuration profiles -----------------------------------------
  void BitBtn8Click();   // "Guardar Configuracion"
  void BitBtn11Click();  // "Leer Configuracion"

  // ---- firmware/: image conversion and download session --------------------------
  void BitBtn22Click();  // "Seleccionar HEX"
  void BitBtn21Click();  // "Iniciar DownLoad"
  void BitBtn40Click();  // "Cancelar"
  void Timer5Timer();
  void UnitStartedDownload();

  // ---- config/: safe configuration (blocks as data, request sequencer) ----------
  bool ReadBlock(const BlockSpec& block);
  bool SendBlockWrite(const BlockSpec& block);
  // A block's "Escribir": the write, and its read-back when "Verificar escrituras" is on.
  void WriteBlock(const BlockSpec& block);
  void readAllButtonClick();        // "Leer todo"
  void writeAllButtonClick();       // "Escribir todo"
  void compareButtonClick();        // "Comparar"
  void sequenceCancelButtonClick();
  void BuildSafeConfigControls(QBoxLayout* row);
  void ConnectSafeConfig();
  // The dispatcher handled a reply; accepted when it was decoded or acknowledged.
  void ReplyDispatched(std::int32_t request, bool accepted);

  // ---- app/: window place and connection fields kept between runs ------------
  // A first start (nothing kept) leaves every initial state as it is.
  void RestoreKept(QSettings& settings);
  void Keep(QSettings& settings) const;

  // ---- firmware/: pre-flight check of a HEX file, time left of a download -------
  void ShowPreflight(const HexPreflight& report, const QString& imagePath);
  void ClearPreflight();
  // "Iniciar DownLoad" on an image whose check warned asks once more.
  bool ConfirmPreflight();
  void DownloadPaceStarted();
  void DownloadChunkServed(int chunk, int chunkCount);
  void DownloadPaceStopped();
  // The reader passed bytes on: a running session takes them now, not on its next tick.
  void DownloadBytesArrived();

  // ---- link/PortChoice.cpp: the port list, open-failure reasons, lost adapter --
  void portListButtonClick();
  void portReconnectButtonClick();
  // The second line under "Error al abrir puerto".
  QString OpenFailureReason();
  void PortOpened(int number);
  void PortClosed();
  void PortLost();
  void PortCameBack();

  // ---- command line: --port N ---------------------------------------------------
  // Once the event loop runs (after anything start-up restored), puts the port
  // number in the port field and presses "&Conectar".
  void ConnectAtStart(int port);

  // ---- consoles for a long day; session capture and replay ----------------------
  void ConnectSession();
  // One receiver tick on whatever feeds it: the port's inbox or a replay.
  void ReceiveFrom(ByteSource& source);
  void captureButtonClick();  // "Grabar captura" / stop
  void replayButtonClick();   // "Reproducir captura" / cancel
  void ReplayTake();  // the replay's next take into the receiver
  void ReplaySent(const QByteArray& frame);
  void ReplayPending(int request, bool remote);
  void ReplayFilters(bool serial, bool iec101);
  void CaptureFilters();  // the console filters, into the capture being recorded
  void ReplayFinished();

  // ---- trends/TrendsForm.cpp: the "Tendencias" page ----------------------------
  void ConnectTrends();
  // When the values being shown were taken: the receiver's take, or the
  // capture's own time during a replay.
  std::int64_t TrendTime() const;

  // ---- inventory/: every unit remembered ----------------------------------------
  void ConnectInventory();
  void inventoryButtonClick();  // "Equipos"
  RecordContext InventoryContext() const;
  void InventoryIdentified(const HardwareId& id);
  void InventoryImageChosen(const QString& hexPath, const QByteArray& hex, int hardware, int project, int build,
                            qint64 imageSize);
  void InventoryDownloadStarted();
  void InventoryDownloadEnded(bool finished);
  std::vector<FieldChange> StoredDifferences(const ProfileJson& a, const ProfileJson& b);
  std::unique_ptr<Inventory> inventory;
  QPushButton* inventoryButton = nullptr;
  InventoryDialog* inventoryDialog = nullptr;
  FirmwareRun firmwareRun;
  QElapsedTimer firmwareClock;

  // ---- controls, named as in the layout ---------------------------------------
  // Top area
  QGroupBox* GroupBox1;
  LabeledEdit* LabeledEdit1;
  QPushButton* BitBtn1;
  QPushButton* BitBtn2;
  RadioGroup* RadioGroup2;
  QLineEdit* Edit3;
  QPushButton* BitBtn30;
  QPushButton* BitBtn7;
  QPushButton* BitBtn18;
  QLabel* Label145;
  Panel* Panel12;
  Panel* Panel13;
  Panel* Panel5;
  Panel* Panel9;
  Panel* Panel10;
  Panel* Panel36;
  Panel* Panel37;
  Panel* Panel38;
  LabeledEdit* LabeledEdit13;
  QStatusBar* StatusBar2;
  QLabel* StatusPanel0;

  QTabWidget* PageControl1;
  QWidget* TabSheet1;  // "&Estado"
  QWidget* TabSheet2;  // "C&onfiguración"
  QWidget* TabSheet3;  // "Debu&g"
  QWidget* TabSheet6;  // "DownLoad"
  QWidget* trendPage;  // "Tendencias"

  // Estado
  QGroupBox* DigitalOutput;
  Panel* Panel11;
  QPushButton* BitBtn14;
  QPushButton* BitBtn19;
  QPushButton* BitBtn20;
  QGroupBox* GroupBox8;
  QPushButton* BitBtn26;  // "Reset" of input 2
  QPushButton* BitBtn43;  // "Reset" of input 4
  std::array<QPushButton*, 16> inputResetButtons{};  // the "Reset" of each input panel
  QGroupBox* GroupBox11;

  // Configuración
  QTabWidget* PageControl2;
  QWidget* TabSheet7;    // "General"
  QWidget* TabSheet11;   // "Digitales 1"
  QWidget* Digitales2;   // "Digitales 2"
  QWidget* VeskAnalog;   // "Analogicas 1"
  QWidget* Analog2;      // "Analogicas 2"
  QWidget* TabModbus;    // "Modbus"
  QWidget* tagPage;      // "SMS Tags"
  QPushButton* BitBtn11;  // "Leer Configuracion"
  QPushButton* BitBtn8;   // "Guardar Configuracion"
  QPushButton* BitBtn36;  // "&Reset Equipo"
  QPushButton* BitBtn17;  // "&Cfg Default"
  QPushButton* BitBtn39;  // "Restore"
  QPushButton* BitBtn15;  // "Contadores a 0"

  // General: TSD configuracion
  QGroupBox* GroupBox2;
  QLineEdit* Edit16;
  QLineEdit* Edit18;
  QLineEdit* Edit1;
  QLineEdit* Edit5;
  QLineEdit* Edit9;
  QLineEdit* Edit13;
  QLineEdit* Edit14;
  QLineEdit* Edit15;
  QCheckBox* CheckBox7;
  QCheckBox* CheckBox25;
  QCheckBox* CheckBox43;
  QCheckBox* CheckBox42;
  QCheckBox* CheckBox44;
  QLineEdit* IdpTime;
  QLineEdit* IdpFail;
  QCheckBox* CheckBox2;
  QCheckBox* CheckBox23;
  QPushButton* BitBtn34;
  QPushButton* BitBtn35;
  // General: Puerto Serie 2
  QGroupBox* GroupBox9;
  QComboBox* ComboBox5;
  QComboBox* ComboBox6;
  QComboBox* ComboBox7;
  QComboBox* ComboBox8;
  LabeledEdit* LabeledEdit5;
  RadioGroup* SeleccionPuerto;
  QPushButton* BitBtn28;
  QPushButton* BitBtn29;
  // General: SMS configuracion
  QGroupBox* GroupBox3;
  LabeledEdit* LabeledEdit2;
  LabeledEdit* LabeledEdit3;
  LabeledEdit* LabeledEdit12;
  QCheckBox* CheckBox1;
  QCheckBox* CheckBox3;
  QCheckBox* CheckBox4;
  QLineEdit* Edit2;
  QPushButton* BitBtn37;
  QPushButton* BitBtn38;
  // General: Identificacion Hardware
  Panel* Panel6;
  QLabel* Label5;
  QLabel* Label26;
  QLabel* Label27;
  QLabel* Label21;
  QLabel* Label25;
  QLabel* Label22;
  QLabel* Label24;
  QLabel* Label23;
  QLabel* Label184;

  // Digitales 1
  QGroupBox* GroupBox12;
  LabeledEdit* LabeledEdit38;
  QRadioButton* RadioButton1;
  QRadioButton* RadioButton3;
  LabeledEdit* LabeledEdit9;
  QPushButton* BitBtn4;
  QPushButton* BitBtn5;
  QGroupBox* DI;
  QPushButton* BitBtn31;
  QPushButton* BitBtn33;
  QLabel* Label217;
  QComboBox* ComboBox10;
  QComboBox* ComboBox11;
  QComboBox* ComboBox12;
  QComboBox* ComboBox17;
  std::array<QLabel*, 8> pulsoLabels{};  // Label146..149, 190, 192, 194, 196
  QPushButton* BitBtn3;
  QPushButton* BitBtn6;
  QPushButton* BitBtn78;
  QPushButton* BitBtn79;
  QPushButton* BitBtn80;
  QPushButton* BitBtn81;
  // Digitales 2
  QGroupBox* GroupBox4;
  QPushButton* BitBtn32;
  QPushButton* BitBtn44;
  QPushButton* BitBtn45;
  QPushButton* BitBtn46;
  QPushButton* BitBtn47;
  QPushButton* BitBtn48;
  QPushButton* BitBtn49;
  QPushButton* BitBtn50;
  // Analogicas 1 and 2
  std::array<QGroupBox*, 8> analogGroups{};  // Analogica1..4, GroupBox5, 6, 7, 10
  QPushButton* BitBtn86;
  QPushButton* BitBtn87;
  QPushButton* BitBtn51;
  QPushButton* BitBtn52;
  // Modbus
  StringGrid* modbusGrid1;
  StringGrid* modbusGrid2;
  QPushButton* BitBtn9;
  QPushButton* BitBtn12;
  QPushButton* BitBtn64;
  QPushButton* BitBtn10;
  QPushButton* BitBtn13;
  QPushButton* BitBtn65;
  // SMS Tags
  StringGrid* tagDigital;
  StringGrid* tagAnalog;
  QPushButton* BitBtn16;
  QPushButton* BitBtn62;
  QPushButton* BitBtn61;
  QPushButton* BitBtn63;

  // Debug
  QPlainTextEdit* Memo1;
  QPlainTextEdit* Memo2;
  QPushButton* BitBtn23;
  QPushButton* BitBtn24;
  QPushButton* BitBtn25;
  QCheckBox* IEC_101;
  QCheckBox* Serie;
  QCheckBox* Slave104;

  // DownLoad
  QPlainTextEdit* Memo3;
  QPushButton* BitBtn22;
  QPushButton* BitBtn21;
  QPushButton* BitBtn40;
  QPushButton* BitBtn41;
  QProgressBar* ProgressBar1;
  Panel* Panel30;  // "Equipo"
  Panel* Panel31;  // "Archivo"
  QLabel* Label155;
  QLabel* Label156;
  QLabel* Label157;
  QLabel* Label158;
  QLabel* Label159;
  QLabel* Label160;
  Shape* Shape1;
  Shape* Shape2;
  Shape* Shape3;

  // Timers
  QTimer* Timer1;
  QTimer* Timer2;
  QTimer* Timer3;
  QTimer* Timer4;
  QTimer* Timer5;

  // File dialogs
  FileDialog SaveDialog1;
  FileDialog SaveDialog2;
  FileDialog SaveDialog3;
  FileDialog OpenDialog1;
  FileDialog OpenDialog2;
  FileDialog OpenDialog3;

  // Safe configuration
  QPushButton* readAllButton = nullptr;
  QPushButton* writeAllButton = nullptr;
  QPushButton* compareButton = nullptr;
  QPushButton* sequenceCancelButton = nullptr;
  QCheckBox* verifyWritesCheck = nullptr;
  QProgressBar* sequenceProgress = nullptr;
  std::unique_ptr<SafeConfig> safeConfig;

  // Pre-flight check and time left (DownLoad page)
  Panel* preflightPanel;
  QLabel* downloadEtaLabel;
  PreflightCheck preflightCheck;
  DownloadEta downloadEta;

  // ---- the port list and the lost-adapter watch ------------------------------
  QPushButton* portListButton;       // "..." beside "Puerto"
  QPushButton* portReconnectButton;  // in the status bar once a lost adapter is back
  std::unique_ptr<PortSystem> portSystem;
  PortWatch* portWatch = nullptr;

  // Consoles for a long day; session capture and replay
  InboxSource portSource;      // the receiver's bytes from the port
  InboxSource downloadSource;  // the download session's
  ConsoleTools* consoleTools = nullptr;
  CaptureWriter capture;
  CaptureReplay* replay = nullptr;
  QPushButton* captureButton = nullptr;
  QPushButton* replayButton = nullptr;
  QComboBox* replaySpeed = nullptr;
  FileDialog captureSaveDialog;
  FileDialog captureOpenDialog;
  bool timer1BeforeReplay = false;
  bool timer2BeforeReplay = false;
  bool serialBeforeReplay = true;
  bool iec101BeforeReplay = false;

  // The "Tendencias" page
  Trends* trends = nullptr;
  std::optional<std::int64_t> takeMs;  // the time of the receiver's take being handled

  // ---- control arrays (element i is control number i + 1) ---------------------
  std::array<LabeledEdit*, 8> ceroEdits{};
  std::array<LabeledEdit*, 8> spanEdits{};
  std::array<LabeledEdit*, 8> alLowEdits{};
  std::array<LabeledEdit*, 8> alHiEdits{};
  std::array<LabeledEdit*, 8> aiHisEdits{};
  std::array<QRadioButton*, 8> currentChecks{};
  std::array<QRadioButton*, 8> voltageChecks{};
  std::array<QLabel*, 8> currentLabels{};
  std::array<QLabel*, 8> anaValueLabels{};
  std::array<QLabel*, 8> alarmaLabels{};
  std::array<Panel*, 8> analogPanels{};
  std::array<QCheckBox*, 8> digitalChecks{};
  std::array<QCheckBox*, 4> analogLowChecks{};
  std::array<QCheckBox*, 4> analogHiChecks{};
  std::array<QCheckBox*, 16> invertChecks{};
  std::array<QCheckBox*, 16> logicInvertChecks{};
  std::array<QCheckBox*, 16> latchChecks{};
  std::array<QCheckBox*, 16> latchResetChecks{};
  std::array<QComboBox*, 16> pulsoCombos{};
  std::array<LabeledEdit*, 16> lacthTimeEdits{};
  std::array<Panel*, 16> digtalPanels{};
  std::array<QLabel*, 16> diStatusLabels{};
  std::array<Panel*, 2> coilPanels{};
  std::array<QLabel*, 2> coilLabels{};
  std::array<QPushButton*, 2> botonOnButtons{};
  std::array<QPushButton*, 2> botonOffButtons{};
  std::array<std::optional<bool>, 2> relayTraceOn{};  // as the last trace line said
  void ShowRelayButtons();
  QList<QWidget*> OneShotButtons() const;  // every button that sends a one-shot request
  std::array<StringGrid*, 2> modbusGrids{};

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // app/Layout*.cpp: the window as the layout describes it.
  void BuildWindow();  // everything below, in a scrolling central widget
  void BuildTopArea(QWidget* top);
  void BuildEstadoPage();
  void BuildConfigPage();
  void BuildGeneralPage();
  void BuildDigitalPages();
  void BuildAnalogPages();
  void BuildModbusPage();
  void BuildTagPage();
  void BuildDebugPage();
  void BuildDownloadPage();
  void BuildTrendPage();
  void BuildTimersAndDialogs();

  // One block of connect calls per subsystem.
  void ConnectLink();
  void ConnectProtocol();
  void ConnectMonitor();
  void ConnectFirmware();
  void ConnectMonitorCommands();
  void ConnectConfig();
  void ConnectProfile();
  void ConnectPortChoice();

  // protocol/Receiver.cpp
  bool ProcessLine(const std::string& line);
  bool FeedLines(const std::uint8_t* bytes, std::int32_t count);
  std::int32_t CollectRemoteReply(const std::uint8_t* bytes, std::int32_t count);
  void HandOverReply(const std::uint8_t* bytes, std::int32_t count, bool completes);

  struct ConsoleBatch {
    QStringList lines;
  };
  ConsoleBatch memo1Batch;
  ConsoleBatch memo2Batch;
  bool batchingConsoles = false;

  // Connects a signal to a handler through Guarded.
  template <class Sender, class Signal>
  void On(Sender* sender, Signal signal, void (TForm1::*handler)()) {
    connect(sender, signal, this, [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
  }
};

extern TForm1* Form1;
