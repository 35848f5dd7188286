#pragma once
// VKMLayoutPictures: the pictures of a layout's image elements, decoded once
// for all of them together within one budget of memory and one of work, and
// kept by each element (CImageElement::GetPicture) for every build of the
// render data after: neither a rebuild nor a zoom decodes again.
//
// Work: the decoders meter what they do as they do it
// (platform::DecodeMeter), and all of a layout's pictures draw on one
// allowance, the largest on the layout first. Any picture may take all that
// is left; one whose decode runs out is stopped there and left out, and so
// are those after it. A small file that declares huge pictures so keeps an
// open busy for about as long as the most a layout's real pictures take.
//
// Memory: what the layout's pictures hold, the bytes of their files (which
// the document keeps) and their decoded pixels, stays within one budget.
// Each picture needs the pixels its place on the plan can show at the most
// detailed zoom, at most its file's and the budget of one picture
// (platform::Image::kDecodedPixelBudget). When the needs do not fit in the
// pixels left beside the files' bytes (never less than a small floor), a
// quarter of those pixels is shared out evenly, so that every picture keeps
// some, and the rest by the pictures' areas on the plan, the same pixels a
// unit for each: the picture across the view and the plan under the tracks
// are shown as sharp as the thumbnails beside them, not cut to their
// pixels. Each picture is then decoded
// reduced as it is read (PNG by a whole factor a side, JPEG by eighths and
// then by a whole factor), so opening a layout never takes much more than
// its budget, whatever its files declare.
//
// A picture left out for want of work or memory is marked on the element
// (CImageElement::IsPictureLeftOut), and the images painter draws its frame;
// bytes that do not decode leave nothing. A warning names every picture
// decoded reduced, and every picture left out with the reason.

#include <cstddef>
#include <functional>
#include <vector>

#include "engine/model/Image.h"

class VKMLayoutPictures {
public:
    // 128 MiB for all of a layout's pictures and their files: the scanned
    // plan and the photograph a layout typically carries fit whole, two
    // photographs of a phone's camera (4032 x 3024, 46.5 MiB of ARGB each)
    // with their files, or one picture at the budget of one (64 MiB)
    // beside another of half that. A phone of 2 to 3 GB ends an app in the
    // foreground at about 1.4 GB, and the app with a layout shown takes
    // about 100 MB before its pictures; 128 MiB more keeps it far from
    // that, with room for the screens around it. One budget for them all,
    // not one per picture: a small file may hold thousands of pictures.
    static constexpr long long kLayoutPictureBytes = 128LL * 1024 * 1024;
    // However much of that the files take, the pixels may have 16 MiB
    // (4 Mi pixels): 40 photographs of a phone (2.9 MB each) fill the
    // budget with their files alone and are still shown, each at 1/16
    // (252 x 189); 4,096 small pictures at 32 x 32.
    // The files are held by the document whether or not they are shown.
    static constexpr long long kLeastPictureBytes = 16LL * 1024 * 1024;

    // The work of decoding all of a layout's pictures, in the decode
    // meter's units: what the dearest layout users keep takes, 32
    // photographs of 4096 x 4096 kept as PNG (33.0 G with their deflate
    // blocks counted, about 7 s on the development machine at load 2), with
    // 6% room. The same of one colour each take 27.9 G (2.5 s), a scanned
    // plan of 9000 x 9000 4.3 G, one of 8192 x 8192 at 16 bits 6.0 G; 40
    // progressive phone photos take more than 7.5 G, their bytes being the
    // dearest to decode. Any one picture may take all of it; a hostile
    // layout spends it in no more time than the dearest kept one.
    static constexpr long long kLayoutWork = 35'000'000'000;

    // The screen scale (pixels a point) taken when the caller knows no
    // screen: the densest a phone has.
    static constexpr double kDensestScreenScale = 3;
    // However small its place on the plan, a picture needs 64 x 64 pixels
    // (or its file's, when fewer): it stays recognisable zoomed in to the
    // most, and its need never rounds to none, which would leave it out.
    static constexpr long long kLeastNeed = 64 * 64;

    struct tBounds {
        long long budgetBytes = kLayoutPictureBytes;
        long long leastBytes = kLeastPictureBytes;
        long long layoutWork = kLayoutWork;
        // Pixels a point of the screens the layout is shown on.
        double screenScale = kDensestScreenScale;
    };

    // Whether the open that asked for the decode has been replaced by a
    // newer one; asked before each picture and every few rows of one.
    using tSuperseded = std::function<bool()>;

    // The pixels a picture whose file holds `filePixels` can show over
    // `area` square units of the plan, at the most detailed zoom
    // (GridCalculationsHelper::kMaximumZoom points a unit) on a screen of
    // `screenScale` pixels a point: no more than its file's, nor than the
    // budget of one picture; at least kLeastNeed (or all of a smaller
    // file). 0 for a file of no pixels. An area that is not a positive
    // number counts as none, a scale that is not as kDensestScreenScale.
    static long long needOf(long long filePixels, double area, double screenScale);

    // The pixels each picture may have, for pictures that need `needs`
    // pixels each (0 for one that takes no share) and cover `areas` square
    // units of the plan, within `budget` in all: every picture whole when
    // they fit. Otherwise a quarter of the budget goes evenly (the smallest
    // needs whole, the rest cut to the largest common number that fits),
    // and what is left by area: every picture the same pixels a unit of its
    // area, the largest number that fits, but never more than it needs
    // (what those that need less leave goes to the others). The sum never
    // exceeds `budget` (taken as 0 when negative); no share exceeds its
    // need. Areas that are not positive numbers, or missing, take no share
    // by area.
    static std::vector<long long> shareBudget(const std::vector<long long>& needs, const std::vector<double>& areas,
                                              long long budget);

    // The order in which pictures of the areas on the layout `areas` are
    // decoded: the largest first, in list order among equals. The picture a
    // layout is drawn over (a scanned plan) is not left out for the photos
    // around it, nor for pictures that come before it in the file.
    static std::vector<std::size_t> decodeOrder(const std::vector<double>& areas);

    // Decodes every picture of `images` that has bytes and a positive width
    // and height and has not been decoded yet, in decodeOrder, within
    // `bounds`: the memory budget beside the bytes of the list's files and
    // its pictures decoded before, shared by what each picture can show on
    // the bounds' screens, and the work, which any one picture may take
    // whole. Gives each element its picture; marks it left out when the
    // work or memory ran out; gives it none when its bytes do not decode.
    // When `superseded` answers yes, before a picture or within one, stops
    // there and leaves that one and the rest undecoded. Each decode is
    // timed as "DecodeLayoutPicture". Returns how many pictures were given.
    // Thread-safe, and takes no lock when every picture was decoded before;
    // the elements must outlive the call.
    static std::size_t decodePictures(const tImages& images, const tSuperseded& superseded, const tBounds& bounds);
    static std::size_t decodePictures(const tImages& images, const tSuperseded& superseded = {});

    // The bytes of the decoded pictures of `images` (four a pixel).
    static std::size_t decodedBytes(const tImages& images);
};
