#include "SharingModule/Model/QLLayoutEntity.h"

#include "SharingModule/Model/QLJSONFields.h"

#include <algorithm>

std::shared_ptr<const QLLayoutEntity> QLLayoutEntity::entityWithJSON(const platform::Value& json,
                                                                     std::optional<platform::Error>& error) {
    auto entity = std::make_shared<QLLayoutEntity>();
    QLJSONFields fields(json, "layout");
    if (fields.requireObject()) {
        fields.requiredText("id", entity->mLayoutId);
        fields.text("title", entity->mTitle);
        fields.text("author", entity->mAuthor);
        fields.date("uploadDate", entity->mUploadDate);
        fields.texts("tags", entity->mTags);
        fields.texts("modelScales", entity->mModelScales);
        fields.count("numberOfTracks", entity->mNumberOfTracks);
        fields.textMap("summary", entity->mSummary);
        fields.text("weburl", entity->mWeburl);
        fields.texts("likeUsers", entity->mLikeUsers);
        fields.text("blobName", entity->mBlobName);
        fields.text("previewBlobName", entity->mPreviewBlobName);
    }
    if (fields.error()) {
        error = fields.error();
        return nullptr;
    }
    return entity;
}

bool QLLayoutEntity::isLikedByUser(const std::string& userId) const {
    return !userId.empty() && std::find(mLikeUsers.begin(), mLikeUsers.end(), userId) != mLikeUsers.end();
}
