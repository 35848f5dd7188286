#pragma once
// VKMLayoutPictures: the pictures of a layout's image elements, decoded once
// for all of them together within one budget, and kept by each element
// (CImageElement::GetPicture) for every build of the render data after:
// neither a rebuild nor a zoom decodes again.
//
// What the layout's pictures hold in memory, the bytes of their files (which
// the document keeps) and their decoded pixels, stays within one budget.
// The pixels left beside the files' bytes are shared out before anything
// is decoded, from the sizes the files declare: each picture may have its
// own pixels, at most the budget of one picture
// (platform::Image::kDecodedPixelBudget); when these do not fit together,
// the small pictures stay whole and the large ones are cut to one common
// number of pixels, the largest that fits. Each picture is then decoded
// reduced as it is read (PNG by a whole factor a side, JPEG by eighths, so
// often below its share), so opening a layout never takes much more than
// its budget, whatever its files declare. A warning names every picture
// decoded reduced (or refused).

#include <cstddef>
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
    // that, with room for the screens around it. Before, every picture had
    // 64 MiB of its own: 32 of them in a 726 KB file took 2 GiB.
    static constexpr long long kLayoutPictureBytes = 128LL * 1024 * 1024;

    // The pixels each picture may have, for pictures that want `wanted`
    // pixels each (0 for one that takes no share), within `budget` in all:
    // every picture whole when they fit; otherwise the smallest whole and
    // the rest cut to the largest common number that fits. The sum never
    // exceeds `budget` (taken as 0 when negative).
    static std::vector<long long> shareBudget(const std::vector<long long>& wanted, long long budget);

    // Decodes every picture of `images` that has bytes and a positive width
    // and height and has not been decoded yet, in what `budgetBytes` leaves
    // beside the bytes of the list's files and its pictures decoded before,
    // and gives each element its picture (null when its bytes do not
    // decode). Each decode is timed as "DecodeLayoutPicture". Returns how
    // many were decoded. Thread-safe; the elements must outlive the call.
    static std::size_t decodePictures(const tImages& images, long long budgetBytes = kLayoutPictureBytes);

    // The bytes of the decoded pictures of `images` (four a pixel).
    static std::size_t decodedBytes(const tImages& images);
};
