#pragma once
// A context drawing one page of a vector document, PDF or SVG, written to a
// file. User space is in points with the origin at the page's top-left.
//
// The document goes to a temporary file beside the target and is renamed
// over it by finish(), so an existing file is replaced whole or not at all.

#include "platform/graphics/Context.h"

#include <filesystem>
#include <memory>
#include <optional>

namespace platform {

class DocumentContext : public Context {
public:
    // None when the page size is not positive and finite or the file cannot
    // be created (errno then holds the system's reason, or 0).
    static std::unique_ptr<DocumentContext> createPdf(const std::filesystem::path& path, Size pageSize);
    static std::unique_ptr<DocumentContext> createSvg(const std::filesystem::path& path, Size pageSize);

    // Finishes the document if finish() was not called.
    ~DocumentContext() override;

    // Writes the document out and puts it in place. False when anything went
    // wrong (nothing is left at the target then, and an older file there
    // stays; errno holds the system's reason, or 0). Later calls return the
    // first result; drawing after it draws nothing.
    bool finish();

private:
    DocumentContext(std::unique_ptr<detail::ContextImpl> impl, std::filesystem::path target,
                    std::filesystem::path temporary);

    std::filesystem::path mTarget;
    std::filesystem::path mTemporary;
    std::optional<bool> mFinished;
};

}  // namespace platform
