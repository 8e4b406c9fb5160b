// Process entry of the worker: adapts the platform's arguments and streams and
// hands over to RunWorker.
#include <iostream>
#include <string>
#include <vector>

#include "host/encodings.h"
#include "host/platform.h"
#include "host/worker_startup.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(quirvel::WideToUtf8(argv[i]));
  quirvel::platform::ReportBrokenPipeAsWriteError();
  quirvel::platform::UseBinaryStandardStreams();
  return quirvel::RunWorker(args, std::cin, std::cout, std::cerr);
}
#else
int main(int argc, char** argv) {
  // Requests are read and replies written only through the C++ streams, so
  // they need not stay in step with C stdio: unsynchronised, a request line is
  // read from a buffer instead of one stdio call per byte. Each reply is still
  // flushed as it is written.
  std::ios::sync_with_stdio(false);
  // Arguments go through the same strict decoding as on Windows: one that is
  // not valid UTF-8 becomes the empty string.
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(quirvel::WideToUtf8(quirvel::Utf8ToWide(argv[i])));
  quirvel::platform::ReportBrokenPipeAsWriteError();
  quirvel::platform::UseBinaryStandardStreams();
  return quirvel::RunWorker(args, std::cin, std::cout, std::cerr);
}
#endif
