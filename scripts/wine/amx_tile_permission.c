/*
 * Preloaded into the Wine processes that run the Windows build of the worker.
 *
 * ONNX Runtime's int8 matrix kernels use Intel AMX where the processor has it.
 * On Linux a process may execute AMX instructions only after asking the kernel
 * for the tile-data state; the Linux build of ONNX Runtime asks, Windows grants
 * it without asking, and Wine does not ask on the Windows program's behalf, so
 * the first AMX instruction traps as an illegal instruction. The permission
 * belongs to the process and exec clears it, so it must be asked for inside
 * the Wine process itself: this constructor does that. On a processor or
 * kernel without AMX the request fails and nothing changes.
 */
#include <sys/syscall.h>
#include <unistd.h>

enum { kArchReqXcompPerm = 0x1023, kXfeatureXtiledata = 18 };

__attribute__((constructor)) static void RequestAmxTileState(void) {
  (void)syscall(SYS_arch_prctl, kArchReqXcompPerm, kXfeatureXtiledata);
}
