#pragma once
// The process-wide list of loaded images. Writers (add, remove, sync) run at
// set-up time and take the list's lock; readers run on the crash path: they
// count themselves in with set_reading, walk the nodes and count out, without
// a lock.
//
// The kernel tells nobody when an image comes or goes, so the list is what
// the loader reported at the last sync: call sync when the reporter is
// enabled, and again after loading or unloading libraries.

#include "crashes/reporter/async/TLCrashAsyncImage.h"
#include "crashes/reporter/async/TLCrashAsyncSharedList.h"

typedef tlcrash_async_shared_list<tlcrash_async_image*> tlcrash_async_image_list;
typedef tlcrash_async_image_list::node tlcrash_async_image_node;

struct tlcrash_async_image_registry {
    tlcrash_task_t task;
    // Made by init and never freed, so that a crash at exit still finds it.
    tlcrash_async_image_list* list;
};

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

// Counts a reader in or out.
void tlcrash_async_image_registry_set_reading(tlcrash_async_image_registry* registry, bool reading);

// The first image from whose header to the end of whose code `address` lies,
// or null. Only for a counted reader.
tlcrash_async_image* tlcrash_async_image_registry_image_containing_address(tlcrash_async_image_registry* registry,
                                                                           uint64_t address);

// The node after `previous` (the first for null), or null at the end; its
// value is the image. Only for a counted reader.
const tlcrash_async_image_node* tlcrash_async_image_registry_next(tlcrash_async_image_registry* registry,
                                                                  const tlcrash_async_image_node* previous);
