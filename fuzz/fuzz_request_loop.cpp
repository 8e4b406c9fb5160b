// One request line through the request loop, with no model or (when built
// with QUIRVEL_FUZZ_MODEL) the generated demo model: every line gets at most
// one reply, and every reply is one JSON object with a string id and a bool ok.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "fuzz/fuzz_support.h"
#include "host/request_loop.h"
#include "keywords/keyword_model.h"

namespace {

using quirvel::fuzz::Require;

quirvel::KeywordModelPtr& Model() {
  static quirvel::KeywordModelPtr model;
  return model;
}

#ifdef QUIRVEL_FUZZ_MODEL
void LoadDemoModel() {
  quirvel::KeywordModelConfig config;
  config.model_path = QUIRVEL_FUZZ_MODEL;
  config.tokenizer_path = QUIRVEL_FUZZ_VOCAB;
  Model() = quirvel::CreateKeywordModel(config);
  Require(quirvel::IsModelReady(Model().get()), "the demo model loads",
          quirvel::ModelLastError(Model().get()));
}
#else
void LoadDemoModel() {}
#endif

void CheckReply(const std::string& line) {
  const quirvel::Json reply = quirvel::Json::parse(line, nullptr, false);
  Require(reply.is_object(), "a reply is one JSON object", line);
  Require(reply.contains("id") && reply["id"].is_string(), "a reply has a string id", line);
  Require(reply.contains("ok") && reply["ok"].is_boolean(), "a reply has a bool ok", line);
  if (!reply["ok"].get<bool>())
    Require(reply.contains("error") && reply["error"].is_string(), "a refusal says why", line);
  if (reply.contains("keywords")) {
    Require(reply["keywords"].is_string() && reply["title"].is_string(), "an extract reply has text members",
            line);
    Require(reply["len"].is_number_unsigned(), "an extract reply has a length", line);
  }
}

// The first extraction builds the Jieba segmenter and picks the OpenCC
// configuration, once per process; done here, the time-out of each input
// measures that input alone.
void WarmUp() { quirvel::Extract(Model().get(), "華為 Mate60 手機", 24); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  quirvel::fuzz::UseBuildResources();
  LoadDemoModel();
  WarmUp();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string request(quirvel::fuzz::AsText(data, size));
  // One line: a newline inside the input would make it several requests.
  for (char& byte : request) byte = byte == '\n' ? ' ' : byte;
  std::istringstream in(request + "\n");
  std::ostringstream out;
  quirvel::RequestLoop(Model().get(), in, out);
  const std::string replies = out.str();
  if (request.empty()) {
    Require(replies.empty(), "an empty line gets no reply");
    return 0;
  }
  Require(!replies.empty() && replies.back() == '\n', "a request line gets a reply line", replies);
  const std::string reply = replies.substr(0, replies.size() - 1);
  Require(reply.find('\n') == std::string::npos, "one line gets one reply", replies);
  CheckReply(reply);
  return 0;
}
