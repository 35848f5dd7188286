#include "crashes/reporter/async/TLCrashAsyncImageRegistry.h"

void tlcrash_async_image_registry_set_reading(tlcrash_async_image_registry* registry, bool reading) {
    registry->list->set_reading(reading);
}

tlcrash_async_image* tlcrash_async_image_registry_image_containing_address(tlcrash_async_image_registry* registry,
                                                                           uint64_t address) {
    for (const tlcrash_async_image_node* node = nullptr; (node = registry->list->next(node)) != nullptr;) {
        if (tlcrash_async_image_contains_address(node->value, address)) return node->value;
    }
    return nullptr;
}

const tlcrash_async_image_node* tlcrash_async_image_registry_next(tlcrash_async_image_registry* registry,
                                                                  const tlcrash_async_image_node* previous) {
    return registry->list->next(previous);
}
