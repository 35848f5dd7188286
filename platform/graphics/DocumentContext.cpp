#include "platform/graphics/DocumentContext.h"

#include "platform/graphics/detail/ContextImpl.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>

#include <cerrno>
#include <cmath>
#include <system_error>

namespace platform {

namespace {

enum class Kind { pdf, svg };

std::filesystem::path temporaryBeside(const std::filesystem::path& target) {
    std::filesystem::path temporary = target;
    temporary += ".partial";
    return temporary;
}

std::unique_ptr<detail::ContextImpl> makeDocument(Kind kind, const std::filesystem::path& file, Size size) {
    errno = 0;
    if (!std::isfinite(size.width) || !std::isfinite(size.height) || size.width <= 0 || size.height <= 0) {
        return nullptr;
    }
    const std::string name = file.string();
    cairo_surface_t* surface = kind == Kind::pdf ? cairo_pdf_surface_create(name.c_str(), size.width, size.height)
                                                 : cairo_svg_surface_create(name.c_str(), size.width, size.height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        const int reason = errno;
        cairo_surface_destroy(surface);
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
        errno = reason;
        return nullptr;
    }
    auto impl = std::make_unique<detail::ContextImpl>(surface);
    cairo_surface_destroy(surface);  // the context holds its own reference
    return impl;
}

}  // namespace

DocumentContext::DocumentContext(std::unique_ptr<detail::ContextImpl> impl, std::filesystem::path target,
                                 std::filesystem::path temporary)
    : Context(std::move(impl)), mTarget(std::move(target)), mTemporary(std::move(temporary)) {}

std::unique_ptr<DocumentContext> DocumentContext::createPdf(const std::filesystem::path& path, Size pageSize) {
    auto temporary = temporaryBeside(path);
    auto impl = makeDocument(Kind::pdf, temporary, pageSize);
    if (!impl) return nullptr;
    return std::unique_ptr<DocumentContext>(new DocumentContext(std::move(impl), path, std::move(temporary)));
}

std::unique_ptr<DocumentContext> DocumentContext::createSvg(const std::filesystem::path& path, Size pageSize) {
    auto temporary = temporaryBeside(path);
    auto impl = makeDocument(Kind::svg, temporary, pageSize);
    if (!impl) return nullptr;
    return std::unique_ptr<DocumentContext>(new DocumentContext(std::move(impl), path, std::move(temporary)));
}

DocumentContext::~DocumentContext() { finish(); }

bool DocumentContext::finish() {
    if (mFinished) return *mFinished;
    cairo_surface_t* surface = impl().surface;
    errno = 0;
    cairo_surface_finish(surface);
    bool ok = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    int reason = errno;
    if (ok) {
        std::error_code error;
        std::filesystem::rename(mTemporary, mTarget, error);
        ok = !error;
        reason = error.value();
    }
    if (!ok) {
        std::error_code ignored;
        std::filesystem::remove(mTemporary, ignored);
        errno = reason;
    }
    mFinished = ok;
    return ok;
}

}  // namespace platform
