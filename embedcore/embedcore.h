/* EmbedCore: the worker's embedding engine behind a flat C interface.
 * An opaque handle owns one backend (ONNX Runtime); failures are values: a 0/1
 * or handle result, a status code kept in the handle, and a message. */
#ifndef QUIRVEL_EMBEDCORE_EMBEDCORE_H
#define QUIRVEL_EMBEDCORE_EMBEDCORE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct embedcore_engine embedcore_engine;

typedef struct embedcore_options {
  uint32_t backend;            /* 0 = ONNX Runtime; anything else is refused */
  uint32_t device;             /* 0 = CPU, 1 = GPU (refused), 2 = automatic (CPU) */
  uint32_t profile;            /* ModelProfile; 0 = detect from the paths */
  uint32_t output_mode;        /* OutputMode; 0 = the profile's default */
  const char* model_path;      /* UTF-8 */
  const char* tokenizer_path;  /* UTF-8: tokenizer.json or vocab.txt */
  int32_t default_max_length;  /* used when embed's max_length < 1; < 1 = none */
  int32_t expected_dimension;  /* < 1 = the profile's default */
  int32_t normalize;           /* < 0 = raw rows; >= 0 = L2-normalised rows */
  int32_t intra_op_threads;    /* 0 = ONNX Runtime's default */
  int32_t inter_op_threads;    /* 0 = ONNX Runtime's default */
  uint32_t reserved;           /* always 0 */
} embedcore_options;

typedef int32_t embedcore_status;
enum {
  EMBEDCORE_OK = 0,
  EMBEDCORE_INVALID_ARGUMENT = -1,
  EMBEDCORE_NOT_READY = -2,
  EMBEDCORE_EMBED_FAILED = -4,
  EMBEDCORE_UNSUPPORTED_BACKEND = -5,
  EMBEDCORE_DEVICE_UNAVAILABLE = -6,
  EMBEDCORE_CREATE_EXCEPTION = -100
};

/* Returns a handle even when creation fails (check embedcore_dimension); null
 * only when the handle itself cannot be allocated. */
embedcore_engine* embedcore_create(const embedcore_options* options);
void embedcore_destroy(embedcore_engine* engine);

/* Embeds text_count texts into output (row-major, text_count x dimension floats).
 * Returns 1 on success, 0 on failure (status and message kept in the handle). */
int32_t embedcore_embed_texts(embedcore_engine* engine, const char* const* texts_utf8,
                              int32_t text_count, int32_t max_length, float* output,
                              int32_t output_capacity, int32_t* out_count, int32_t* out_dimension);

/* The message of the last create or embed call, or null when there is none. */
const char* embedcore_last_error(const embedcore_engine* engine);
/* The embedding dimension, 0 when the handle or its backend is missing. */
int32_t embedcore_dimension(const embedcore_engine* engine);
/* The status of the last create or embed call (EMBEDCORE_INVALID_ARGUMENT for null). */
embedcore_status embedcore_last_status(const embedcore_engine* engine);

#ifdef __cplusplus
}
#endif

#endif /* QUIRVEL_EMBEDCORE_EMBEDCORE_H */
