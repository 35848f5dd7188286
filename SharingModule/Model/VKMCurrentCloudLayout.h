#pragma once
// The open cloud layout as the screens see it. Which layout is open is
// known to the layout session of the viewer, a module above this one: it
// installs the reader of its cloud layout identifier here at start-up.

#include "SharingModule/Model/QLLayoutEntity.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

class VKMCurrentCloudLayout {
public:
    using LayoutIdProvider = std::function<std::optional<std::string>()>;

    static void setCloudLayoutIdProvider(LayoutIdProvider provider);

    // The open layout's entity from VKMLayoutEntityCache; nullptr when the
    // open layout is no cloud layout or its entity is not cached.
    static std::shared_ptr<const QLLayoutEntity> layoutEntity();
    // The entity's title; empty without an entity. For an open document
    // that did not come from the catalogue, its file's name (without the
    // extension).
    static std::string title();
    // The author's name from the user-name cache; nothing while it is not
    // known (the cache posts its notification when it arrives). For an open
    // document that did not come from the catalogue, the author its file
    // names, if any.
    static std::optional<std::string> author();
    // Whether the signed-in user likes the open layout.
    static bool likedByCurrentUser();
};
