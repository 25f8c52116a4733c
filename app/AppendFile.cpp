#include "app/AppendFile.h"

#include <filesystem>
#include <fstream>

bool AppendToFile(const std::string& utf8Path, std::string_view bytes) {
  if (utf8Path.empty()) return false;
  const std::u8string name(utf8Path.begin(), utf8Path.end());
  std::ofstream file(std::filesystem::path(name), std::ios::binary | std::ios::app);
  if (!file) return false;
  file.write(bytes.data(), std::streamsize(bytes.size()));
  file.close();
  return !file.fail();
}
