// Test helpers that need only the standard library and the port layer, so the
// Windows build of the port test (tests/windows) shares them with the others.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "link/Port.h"

using Bytes = std::vector<std::uint8_t>;

// "01 03 4E 40" -> bytes; anything but hex digits separates.
inline Bytes HexBytes(const char* hex) {
  Bytes out;
  unsigned value = 0;
  int digits = 0;
  for (const char* p = hex; *p; ++p) {
    const char c = *p;
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    if (v < 0) continue;
    value = value * 16 + unsigned(v);
    if (++digits == 2) {
      out.push_back(std::uint8_t(value));
      value = 0;
      digits = 0;
    }
  }
  return out;
}

// bytes -> "01 03 4E 40"
inline std::string Hex(const Bytes& bytes) {
  std::string out;
  char buffer[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, i ? " %02X" : "%02X", bytes[i]);
    out += buffer;
  }
  return out;
}

// What the tool's side of the port reads until `count` bytes came or the
// ceiling passed.
inline Bytes ReadFromPort(std::size_t count,
                          std::chrono::milliseconds ceiling = std::chrono::milliseconds(3000)) {
  Bytes got;
  std::uint8_t buffer[2048];
  std::uint32_t received = 0;
  const auto deadline = std::chrono::steady_clock::now() + ceiling;
  while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
    ReadPort(buffer, sizeof buffer, received);
    got.insert(got.end(), buffer, buffer + received);
  }
  return got;
}
