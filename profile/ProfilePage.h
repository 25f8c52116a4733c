// Profiles and the configuration page: what the page holds as profile text,
// a profile file read for loading, and loading one into the page.
#pragma once

#include <QString>
#include <optional>
#include <string>

#include "profile/Profile.h"

class TForm1;

// The page's values as the profile text "Guardar Configuracion" writes.
std::string PageProfileText(const TForm1& form);
// A profile file's document; nullopt (with the error shown) when it cannot be read.
std::optional<ProfileJson> ReadProfileFile(const QString& fileName);
// The file reads whole as one profile object, not only as far as it could.
bool ProfileFileIsWhole(const QString& fileName);
// As "Leer Configuracion" loads it; throws the conversion error on a bad value.
void LoadProfileIntoPage(TForm1& form, const ProfileJson& profile);
