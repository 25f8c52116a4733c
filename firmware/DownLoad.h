// The firmware download session: one global object, created before the window.
#pragma once

#include <cstdint>
#include <string>

class DownLoad {
 public:
  // A session starts: the port belongs to the download receiver.
  void Start();
  // Every end of a session comes here.
  void Stop();
  bool IsActive() const { return active; }
  void SetFileName(const std::string& path) { fileName = path; }
  void ClearCount() { chunkCount = 0; }
  void IncCount() { ++chunkCount; }
  int GetCount() const { return chunkCount; }

  std::uint8_t state = 0;  // 0 First Report, 1 serving chunks, 2 final packet
  bool active = false;
  std::string fileName;
  int hardware = 0;
  int project = 0;
  int build = 0;
  int chunkCount = 0;
  int chunkSize = 0;
};

extern DownLoad downloadSession;
