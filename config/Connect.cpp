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
}
