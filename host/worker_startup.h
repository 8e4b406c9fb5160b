// The worker's start-up: the command line, the resource locations and the
// keyword model, then the ready line and the request loop.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "host/request_loop.h"
#include "host/service_options.h"
#include "keywords/keyword_model_types.h"

namespace quirvel {

// The project's version, as the build and the package names carry it.
const char* WorkerVersion();

// The part of the command line the keyword model is built from.
KeywordModelConfig MakeKeywordModelConfig(const ServiceOptions& options);
// The part of the command line the request loop writes its replies by.
ReplyOptions MakeReplyOptions(const ServiceOptions& options);

// The whole run after the process entry: start-up, the ready line, the loop,
// and the fatal line on any error outside one request; or, for "--help" and
// "--version", their text on `out`. Returns the exit code.
int RunWorker(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace quirvel
