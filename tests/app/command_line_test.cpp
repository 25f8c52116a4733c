// The command line: --version, --help and --port N, which fills the port
// field and connects once the window is up.
#include <QtTest>

#include "app/Log.h"
#include "app/StartOptions.h"
#include "tests/Harness.h"

using Action = StartOptions::Action;

class CommandLineTest : public QObject {
  Q_OBJECT

 private slots:
  void parsesTheOptions() {
    QVERIFY(ParseStartOptions({}).action == Action::Run);
    QVERIFY(!ParseStartOptions({}).port);
    QCOMPARE(*ParseStartOptions({"--port", "12"}).port, 12);
    QCOMPARE(*ParseStartOptions({"--port=3"}).port, 3);
    QCOMPARE(*ParseStartOptions({"--port", "4", "--port", "07"}).port, 7);  // the last one
    QCOMPARE(*ParseStartOptions({"--port", "2147483647"}).port, 2147483647);
    // Whatever else is on the line, help and version answer.
    QVERIFY(ParseStartOptions({"--port", "x", "--version"}).action == Action::Version);
    QVERIFY(ParseStartOptions({"-platform", "xcb", "-h"}).action == Action::Help);
    QVERIFY(ParseStartOptions({"--help", "--version"}).action == Action::Help);
    QCOMPARE(VersionText(), std::string("qirel ") + QIREL_TEST_VERSION);
    const std::string usage = StartUsageText();
    for (const char* option : {"--port N", "--version", "--help"})
      QVERIFY2(usage.find(option) != std::string::npos, option);
  }

  void refusesWhatIsNotAPort() {
    const std::vector<std::vector<std::string>> bad = {
        {"--port"},        {"--port", "0"},  {"--port", "-3"}, {"--port", "3x"},
        {"--port", ""},    {"--port="},      {"--port", "+3"}, {"--port", "2147483648"},
        {"--port", " 3"},  {"--prot", "3"},  {"3"},            {"--port", "3", "extra"},
    };
    for (const auto& arguments : bad) {
      const StartOptions options = ParseStartOptions(arguments);
      QVERIFY2(options.action == Action::Error, arguments.back().c_str());
      QVERIFY(!options.error.empty());
    }
    QCOMPARE(ParseStartOptions({"--port", "0"}).error, std::string("'0' is not a COM port number"));
    QCOMPARE(ParseStartOptions({"--bogus"}).error, std::string("unknown argument '--bogus'"));
  }

  void portGivenAtStartConnects() {
    PtyPair pty;
    ComLink link(7, pty.slavePath());
    TForm1 form;
    form.show();
    form.LabeledEdit1->setText("3");  // as a port restored from the last run would be
    form.ConnectAtStart(7);
    // Not before the event loop runs: the start-up is not over yet.
    QVERIFY(!form.IsConnected());
    QTRY_VERIFY(form.IsConnected());
    QCOMPARE(form.LabeledEdit1->text(), QString("7"));
    QVERIFY(!form.LabeledEdit1->isEnabled());

    // The port is really the one given: a request reaches the pty.
    form.BitBtn7->click();
    QCOMPARE(Hex(pty.Read(8)), std::string("01 03 03 E8 00 2D 05 A7"));
    form.BitBtn2Click();
  }

  void missingPortGivenAtStartSaysSo() {
    DialogScript dialogs;
    ComLink gone(9, "/nonexistent/tty");
    TForm1 form;
    form.show();
    form.ConnectAtStart(9);
    QTRY_COMPARE(dialogs->messages.size(), 1);
    QVERIFY(dialogs->messages[0].startsWith("Error al abrir puerto\n"));
    QVERIFY(!form.IsConnected());
    QCOMPARE(form.LabeledEdit1->text(), QString("9"));
    QVERIFY(form.BitBtn1->isEnabled());
  }
};

QTEST_MAIN(CommandLineTest)
#include "command_line_test.moc"
