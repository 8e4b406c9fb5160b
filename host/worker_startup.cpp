#include "host/worker_startup.h"

#include <optional>
#include <ostream>
#include <stdexcept>
#include <utility>

#include "conversion/script_conversion.h"
#include "host/platform.h"
#include "host/request_loop.h"
#include "host/resources.h"
#include "keywords/keyword_model.h"

namespace quirvel {
namespace {

KeywordModelPtr LoadModel(const ServiceOptions& options) {
  ResolveServicePaths(options);
  KeywordModelPtr model = CreateKeywordModel(MakeKeywordModelConfig(options));
  if (!IsModelReady(model.get()))
    throw std::runtime_error("load model failed: " + ModelLastError(model.get()));
  return model;
}

void WriteLine(std::ostream& err, const std::string& text) {
  err << text << '\n';
  err.flush();
}

}  // namespace

const char* WorkerVersion() { return QUIRVEL_VERSION; }

KeywordModelConfig MakeKeywordModelConfig(const ServiceOptions& options) { return options; }

ReplyOptions MakeReplyOptions(const ServiceOptions& options) {
  ReplyOptions reply;
  if (options.keep_request_characters) {
    reply.back_conversion = BackConversion::OutsideRequestCharacters;
  } else if (options.back_convert_everything) {
    reply.back_conversion = BackConversion::Everything;
  }
  return reply;
}

int RunWorker(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
  try {
    platform::UseUtf8Console();
    const ServiceOptions options = ParseServiceOptions(args);
    if (options.show_help || options.show_version) {
      out << (options.show_help ? UsageText() : std::string("quirvel-worker ") + WorkerVersion() + "\n");
      out.flush();
      return 0;
    }
    std::optional<KeptConverters> kept_converters;  // closed when the run ends, however it ends
    if (options.reuse_converters) kept_converters.emplace();
    KeywordModelPtr model = LoadModel(options);
    WriteLine(err, "ready");
    RequestLoop(model.get(), in, out, MakeReplyOptions(options));
    DestroyKeywordModel(std::move(model));
    return 0;
  } catch (const std::exception& error) {
    WriteLine(err, std::string("fatal: ") + error.what());
    return 1;
  }
}

}  // namespace quirvel
