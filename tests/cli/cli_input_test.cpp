// The command line's port lists and ID tables: what a technician types or a
// spreadsheet exports, including the mistakes either makes.
#include <QtTest>

#include "cli/CliInput.h"

class CliInputTest : public QObject {
  Q_OBJECT

 private slots:
  void portLists() {
    using Ports = std::vector<int>;
    QCOMPARE(ParsePortList("3").ports, Ports{3});
    QCOMPARE(ParsePortList("3,4,7-9").ports, (Ports{3, 4, 7, 8, 9}));
    QCOMPARE(ParsePortList(" 9 , 7-8 ,9").ports, (Ports{9, 7, 8}));  // as given, no repeats
    QCOMPARE(ParsePortList("5-5").ports, Ports{5});
    // Each number as a port number reads: no zero, no sign, no blanks inside.
    for (const char* bad : {"", "0", "-3", "+3", "3,", ",3", "3-", "9-3", "3 4", "x", "0x10", "1-99",
                            "2147483647-2147483647,", "99999999999"}) {
      const PortListResult result = ParsePortList(bad);
      QVERIFY2(result.ports.empty() && !result.error.empty(), bad);
    }
    // The largest port number ends a range without running past it.
    QCOMPARE(ParsePortList("2147483646-2147483647").ports, (Ports{2147483646, 2147483647}));
    QVERIFY(!ParsePortList("1-40,41-80").error.empty());  // too many at once
  }

  void idTables() {
    const IdTable table = ParseIdTable(
        "IMEI;TSD ID\r\n861234567890123;101\r\n\r\n# bench 2\ncom07 ; 103\nabc123,65535\n");
    QVERIFY2(table.error.empty(), table.error.c_str());
    QCOMPARE(IdFor(table, "861234567890123", 3), std::optional<int>(101));
    QCOMPARE(IdFor(table, "", 7), std::optional<int>(103));  // COM07 is COM7
    QCOMPARE(IdFor(table, "ABC123", 1), std::optional<int>(65535));
    QCOMPARE(IdFor(table, "999", 8), std::nullopt);
    // By IMEI before port: a unit moved to another port keeps its ID.
    const IdTable both = ParseIdTable("861,1\nCOM3,2\n");
    QCOMPARE(IdFor(both, "861", 3), std::optional<int>(1));

    // One bad line refuses the whole file: a half-applied table gives wrong IDs.
    for (const char* bad : {"861,70000\n", "861,-1\n", "861,12a\n", "861\n", "861,1,2\n", ",5\n",
                            "861,1\n861,2\n", "COM0,1\n", "COMX,1\n", "861,1\nIMEI,ID\n"}) {
      const IdTable refused = ParseIdTable(bad);
      QVERIFY2(refused.ids.empty() && !refused.error.empty(), bad);
    }
    QCOMPARE(ParseIdTable("861,1\n861,2\n").error, std::string("linea 2: \"861\" aparece dos veces"));
  }
};

QTEST_GUILESS_MAIN(CliInputTest)
#include "cli_input_test.moc"
