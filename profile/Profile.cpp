// Configuration profiles (being written).
#include "app/Log.h"

void TForm1::ConnectProfile() {}
