// The configuration pages' buttons and fields, wired to their handlers.
#include "app/Log.h"

void TForm1::ConnectConfig() {
  On(BitBtn4, &QPushButton::clicked, &TForm1::BitBtn4Click);
  On(BitBtn5, &QPushButton::clicked, &TForm1::BitBtn5Click);
  On(RadioButton1, &QRadioButton::clicked, &TForm1::RadioButton1Click);
  On(RadioButton3, &QRadioButton::clicked, &TForm1::RadioButton3Click);
  RadioButton1->installEventFilter(this);  // RadioButton1MouseUp
  On(BitBtn31, &QPushButton::clicked, &TForm1::BitBtn31Click);
  On(BitBtn32, &QPushButton::clicked, &TForm1::BitBtn32Click);
  On(BitBtn33, &QPushButton::clicked, &TForm1::BitBtn33Click);
  On(BitBtn44, &QPushButton::clicked, &TForm1::BitBtn44Click);
  On(BitBtn86, &QPushButton::clicked, &TForm1::BitBtn86Click);
  On(BitBtn87, &QPushButton::clicked, &TForm1::BitBtn87Click);
  On(BitBtn51, &QPushButton::clicked, &TForm1::BitBtn51Click);
  On(BitBtn52, &QPushButton::clicked, &TForm1::BitBtn52Click);
  On(BitBtn34, &QPushButton::clicked, &TForm1::BitBtn34Click);
  On(BitBtn35, &QPushButton::clicked, &TForm1::BitBtn35Click);
  On(BitBtn39, &QPushButton::clicked, &TForm1::BitBtn39Click);
  On(BitBtn28, &QPushButton::clicked, &TForm1::BitBtn28Click);
  On(BitBtn29, &QPushButton::clicked, &TForm1::BitBtn29Click);
  On(BitBtn37, &QPushButton::clicked, &TForm1::BitBtn37Click);
  On(BitBtn38, &QPushButton::clicked, &TForm1::BitBtn38Click);
  On(BitBtn9, &QPushButton::clicked, &TForm1::BitBtn9Click);
  On(BitBtn10, &QPushButton::clicked, &TForm1::BitBtn10Click);
  On(BitBtn12, &QPushButton::clicked, &TForm1::BitBtn12Click);
  On(BitBtn13, &QPushButton::clicked, &TForm1::BitBtn13Click);
  On(BitBtn64, &QPushButton::clicked, &TForm1::BitBtn64Click);
  On(BitBtn65, &QPushButton::clicked, &TForm1::BitBtn65Click);
  On(BitBtn16, &QPushButton::clicked, &TForm1::BitBtn16Click);
  On(BitBtn61, &QPushButton::clicked, &TForm1::BitBtn61Click);
  On(BitBtn62, &QPushButton::clicked, &TForm1::BitBtn62Click);
  On(BitBtn63, &QPushButton::clicked, &TForm1::BitBtn63Click);
  ConnectSafeConfig();
  // The grids pass every typed character through their key handlers.
  modbusGrid1->keyFilter = [this](QChar key) {
    modbusGrid1KeyPress(key);
    return !key.isNull();
  };
  modbusGrid2->keyFilter = [this](QChar key) {
    modbusGrid2KeyPress(key);
    return !key.isNull();
  };
}
