#pragma once
// A shared layout as the sharing service describes it. Immutable once read,
// so one entity may be shared between threads; a change (a like) comes
// back from the service as a new entity.

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLLayoutEntity {
public:
    using Date = std::chrono::system_clock::time_point;

    // Reads the service's JSON object. Fails (nullptr, `error` set, naming
    // the key) for anything but an object with a non-empty text "id", and
    // for a value of the wrong type under a key it knows; a null counts as
    // absent and unknown keys are ignored.
    static std::shared_ptr<const QLLayoutEntity> entityWithJSON(const platform::Value& json,
                                                                std::optional<platform::Error>& error);

    const std::string& layoutId() const { return mLayoutId; }
    const std::string& title() const { return mTitle; }
    // The author's user identifier.
    const std::string& author() const { return mAuthor; }
    // Nothing when the reply gives none, or a date no Date holds (before
    // 1678 or after 2261).
    const std::optional<Date>& uploadDate() const { return mUploadDate; }
    const std::vector<std::string>& tags() const { return mTags; }
    const std::vector<std::string>& modelScales() const { return mModelScales; }
    std::int64_t numberOfTracks() const { return mNumberOfTracks; }
    // Description texts by two-letter language code.
    const std::map<std::string, std::string>& summary() const { return mSummary; }
    const std::string& weburl() const { return mWeburl; }
    // The users who like the layout.
    const std::vector<std::string>& likeUsers() const { return mLikeUsers; }
    // The layout file's and the preview picture's blobs in the container "layouts".
    const std::string& blobName() const { return mBlobName; }
    const std::string& previewBlobName() const { return mPreviewBlobName; }

    bool isLikedByUser(const std::string& userId) const;

private:
    std::string mLayoutId;
    std::string mTitle;
    std::string mAuthor;
    std::optional<Date> mUploadDate;
    std::vector<std::string> mTags;
    std::vector<std::string> mModelScales;
    std::int64_t mNumberOfTracks = 0;
    std::map<std::string, std::string> mSummary;
    std::string mWeburl;
    std::vector<std::string> mLikeUsers;
    std::string mBlobName;
    std::string mPreviewBlobName;
};
