#pragma once
// The process-wide list of loaded images: the readers, which run on the
// crash path. They count themselves in with set_reading, walk the nodes and
// count out, without a lock. The writers (init, add, remove, sync) are in
// setup/TLCrashImageRegistrySetup.h.

#include "crashes/reporter/async/TLCrashAsyncImage.h"
#include "crashes/reporter/async/TLCrashAsyncSharedList.h"

typedef tlcrash_async_shared_list<tlcrash_async_image*> tlcrash_async_image_list;
typedef tlcrash_async_image_list::node tlcrash_async_image_node;

struct tlcrash_async_image_registry {
    tlcrash_task_t task;
    // Made by init and never freed, so that a crash at exit still finds it.
    tlcrash_async_image_list* list;
};

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
