#include "platform/linux/memory/Heap.h"

#include <malloc.h>

void TuneHeapForPictures() {
    // A fixed threshold: glibc otherwise raises it after the first large
    // free, and the next picture's buffers then stay in the heap.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
}

void ReturnFreeHeap() {
    malloc_trim(0);
}
