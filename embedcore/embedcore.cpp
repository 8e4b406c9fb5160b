// Placeholder until the engine lands: every handle is "not ready".
#include "embedcore/embedcore.h"

#include <memory>
#include <string>

struct embedcore_engine {
  embedcore_status status = EMBEDCORE_NOT_READY;
  std::string message = "engine is null";
};

extern "C" {
embedcore_engine* embedcore_create(const embedcore_options*) { return std::make_unique<embedcore_engine>().release(); }
void embedcore_destroy(embedcore_engine* engine) { std::unique_ptr<embedcore_engine> owned(engine); }
int32_t embedcore_embed_texts(embedcore_engine*, const char* const*, int32_t, int32_t, float*, int32_t,
                              int32_t* out_count, int32_t* out_dimension) {
  if (out_count) *out_count = 0;
  if (out_dimension) *out_dimension = 0;
  return 0;
}
const char* embedcore_last_error(const embedcore_engine* engine) {
  return engine && !engine->message.empty() ? engine->message.c_str() : nullptr;
}
int32_t embedcore_dimension(const embedcore_engine*) { return 0; }
embedcore_status embedcore_last_status(const embedcore_engine* engine) {
  return engine ? engine->status : EMBEDCORE_INVALID_ARGUMENT;
}
}
