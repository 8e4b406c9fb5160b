// The flat interface: a thin shell that checks arguments, keeps the status and
// message of the last call in the handle, and stops every exception at the edge.
#include "embedcore/embedcore.h"

#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "embedcore/embedding_backend.h"
#include "embedcore/profiles.h"

struct embedcore_engine {
  embedcore_status status = EMBEDCORE_OK;
  std::string message;
  std::unique_ptr<quirvel::IEmbeddingBackend> backend;
  std::mutex lock;
  std::int32_t default_max_length = 0;
};

namespace {

constexpr std::uint32_t kDeviceGpu = 1;

embedcore_status Fail(embedcore_engine& engine, embedcore_status status, std::string message) {
  engine.status = status;
  engine.message = std::move(message);
  return status;
}

// A failed embed: status and message in the handle, 0 to the caller.
std::int32_t Refuse(embedcore_engine& engine, embedcore_status status, std::string message) {
  Fail(engine, status, std::move(message));
  return 0;
}

void Succeed(embedcore_engine& engine) {
  engine.status = EMBEDCORE_OK;
  engine.message.clear();
}

// The engine's options as the core takes them; a profile of 0 is guessed from
// the paths, which may still give 0.
quirvel::CoreOptions ToCoreOptions(const embedcore_options& options) {
  quirvel::CoreOptions core;
  core.profile = options.profile != quirvel::kProfileAuto
                     ? options.profile
                     : quirvel::DetectProfile(options.model_path, options.tokenizer_path);
  core.output_mode = static_cast<quirvel::OutputMode>(options.output_mode);
  core.expected_dimension = options.expected_dimension;
  core.normalize = options.normalize >= 0;
  core.intra_op_threads = options.intra_op_threads;
  core.inter_op_threads = options.inter_op_threads;
  return core;
}

void BuildBackend(embedcore_engine& engine, const embedcore_options& options) {
  engine.default_max_length = options.default_max_length;
  if (options.device == kDeviceGpu) {
    Fail(engine, EMBEDCORE_DEVICE_UNAVAILABLE, "GPU device is not available in this build");
    return;
  }
  if (options.backend != 0) {
    Fail(engine, EMBEDCORE_UNSUPPORTED_BACKEND, "unsupported EmbedCore backend");
    return;
  }
  engine.backend = std::make_unique<quirvel::OnnxEmbeddingBackend>(options.model_path, options.tokenizer_path,
                                                                   ToCoreOptions(options));
  if (engine.backend && engine.backend->is_ready()) {
    Succeed(engine);
    return;
  }
  Fail(engine, EMBEDCORE_NOT_READY, engine.backend ? engine.backend->last_error() : "engine is null");
}

// Both factors are 32-bit, so their 64-bit product cannot overflow.
bool CapacityTooSmall(std::int32_t capacity, std::int32_t count, std::int32_t dimension) {
  return dimension < 1 || static_cast<std::int64_t>(capacity) <
                              static_cast<std::int64_t>(count) * static_cast<std::int64_t>(dimension);
}

bool CopyTexts(const char* const* texts_utf8, std::int32_t count, std::vector<std::string>& texts) {
  texts.reserve(static_cast<std::size_t>(count));
  for (std::int32_t i = 0; i < count; ++i) {
    if (texts_utf8[i] == nullptr) return false;
    texts.emplace_back(texts_utf8[i]);
  }
  return true;
}

bool WriteRows(embedcore_engine& engine, const std::vector<std::vector<float>>& rows, std::size_t width,
               float* output) {
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].size() != width) {
      Fail(engine, EMBEDCORE_EMBED_FAILED, "embedding dimensions are inconsistent");
      return false;
    }
    std::memcpy(output + i * width, rows[i].data(), width * sizeof(float));
  }
  return true;
}

void SetIfGiven(std::int32_t* target, std::int32_t value) {
  if (target != nullptr) *target = value;
}

std::int32_t EmbedLocked(embedcore_engine& engine, const char* const* texts_utf8, std::int32_t text_count,
                         std::int32_t max_length, float* output, std::int32_t output_capacity,
                         std::int32_t* out_count, std::int32_t* out_dimension) {
  if (!engine.backend || texts_utf8 == nullptr || text_count < 1 || output == nullptr ||
      output_capacity < 1) {
    return Refuse(engine, EMBEDCORE_INVALID_ARGUMENT, "invalid embedcore_embed_texts argument");
  }
  if (max_length < 1 && engine.default_max_length > 0) max_length = engine.default_max_length;
  const std::int32_t dimension = engine.backend->dimension();
  if (CapacityTooSmall(output_capacity, text_count, dimension)) {
    SetIfGiven(out_dimension, dimension > 0 ? dimension : 0);
    return Refuse(engine, EMBEDCORE_INVALID_ARGUMENT, "output buffer capacity is insufficient");
  }
  std::vector<std::string> texts;
  if (!CopyTexts(texts_utf8, text_count, texts)) {
    return Refuse(engine, EMBEDCORE_INVALID_ARGUMENT, "texts_utf8 contains null item");
  }
  std::vector<std::vector<float>> rows;
  const bool embedded = engine.backend->embed(texts, max_length, rows);
  if (!embedded || rows.size() != texts.size() || rows.empty()) {
    return Refuse(engine, EMBEDCORE_EMBED_FAILED, engine.backend->last_error());
  }
  const std::size_t width = rows.front().size();
  if (width > 0x7FFFFFFF || CapacityTooSmall(output_capacity, text_count, static_cast<std::int32_t>(width))) {
    return Refuse(engine, EMBEDCORE_INVALID_ARGUMENT, "output buffer capacity is insufficient");
  }
  if (!WriteRows(engine, rows, width, output)) return 0;
  SetIfGiven(out_count, text_count);
  SetIfGiven(out_dimension, static_cast<std::int32_t>(width));
  Succeed(engine);
  return 1;
}

}  // namespace

extern "C" {

embedcore_engine* embedcore_create(const embedcore_options* options) {
  std::unique_ptr<embedcore_engine> engine;
  try {
    engine = std::make_unique<embedcore_engine>();
  } catch (...) {
    return nullptr;
  }
  if (options == nullptr || options->model_path == nullptr || options->tokenizer_path == nullptr) {
    Fail(*engine, EMBEDCORE_INVALID_ARGUMENT, "model_path and tokenizer_path are required");
    return engine.release();
  }
  try {
    BuildBackend(*engine, *options);
  } catch (const std::exception& error) {
    Fail(*engine, EMBEDCORE_CREATE_EXCEPTION, error.what());
  } catch (...) {
    Fail(*engine, EMBEDCORE_CREATE_EXCEPTION, "unknown EmbedCore create error");
  }
  return engine.release();
}

void embedcore_destroy(embedcore_engine* engine) { std::unique_ptr<embedcore_engine> owned(engine); }

int32_t embedcore_embed_texts(embedcore_engine* engine, const char* const* texts_utf8, int32_t text_count,
                              int32_t max_length, float* output, int32_t output_capacity, int32_t* out_count,
                              int32_t* out_dimension) {
  std::unique_lock<std::mutex> hold;
  if (engine != nullptr) hold = std::unique_lock<std::mutex>(engine->lock);
  SetIfGiven(out_count, 0);
  SetIfGiven(out_dimension, 0);
  if (engine == nullptr) return 0;
  return EmbedLocked(*engine, texts_utf8, text_count, max_length, output, output_capacity, out_count,
                     out_dimension);
}

const char* embedcore_last_error(const embedcore_engine* engine) {
  return engine != nullptr && !engine->message.empty() ? engine->message.c_str() : nullptr;
}

int32_t embedcore_dimension(const embedcore_engine* engine) {
  return engine != nullptr && engine->backend ? engine->backend->dimension() : 0;
}

embedcore_status embedcore_last_status(const embedcore_engine* engine) {
  return engine != nullptr ? engine->status : EMBEDCORE_INVALID_ARGUMENT;
}

}  // extern "C"
