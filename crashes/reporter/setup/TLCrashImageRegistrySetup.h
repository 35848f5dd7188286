#pragma once
// The writers of the process-wide image list. They allocate and take the
// list's lock, so they run at set-up time only; the readers are in
// async/TLCrashAsyncImageRegistry.h.
//
// The kernel tells nobody when an image comes or goes, so the list is what
// the loader reported at the last sync: call sync when the reporter is
// enabled, and again after loading or unloading libraries.

#include "crashes/reporter/async/TLCrashAsyncImageRegistry.h"

// Binds an empty registry to `task`.
void tlcrash_async_image_registry_init(tlcrash_async_image_registry* registry, tlcrash_task_t task);

// Reads the image whose ELF header is at `header_addr` and appends it: the
// image's code when it cannot be read (and nothing is added).
tlcrash_error_t tlcrash_async_image_registry_add(tlcrash_async_image_registry* registry, uint64_t header_addr,
                                                 const char* path);

// Unlinks the image whose header is at `header_addr`, when there is one. Its
// record stays allocated: a reader may still hold it.
void tlcrash_async_image_registry_remove(tlcrash_async_image_registry* registry, uint64_t header_addr);

// Makes the list what the loader reports now (dl_iterate_phdr): images not
// listed yet are added in the loader's order, images no longer loaded are
// removed. The main program is named by /proc/self/exe. An image that cannot
// be read is left out with a diagnostic. Only for the own task.
void tlcrash_async_image_registry_sync(tlcrash_async_image_registry* registry);

// The registry of the own process, made and synced on first use (not on the
// crash path); the crash reporter syncs it again when it is enabled.
tlcrash_async_image_registry& tlcrash_async_image_registry_process();
