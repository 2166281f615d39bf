// Media type records: the free helpers over the platform's AM_MEDIA_TYPE and
// the owning wrapper that pins keep as their connection type.
#pragma once

#include "platform/Platform.h"

// Frees the format block (when cbFormat is not 0) and the pUnk reference.
void ReleaseTypeFields(AM_MEDIA_TYPE* record);
// Frees a task-memory record handed out by an enumerator, with its fields.
void DestroyTypeRecord(AM_MEDIA_TYPE* record);
// Overwrites target with a deep copy of source; the target's old contents are
// not freed. On allocation failure the target has no format block.
HRESULT CloneTypeFields(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);
// A pattern field left at GUID_NULL matches anything; a set format type also
// needs equal format bytes.
bool TypeMatchesPattern(const AM_MEDIA_TYPE& type, const AM_MEDIA_TYPE& pattern);
// A type is only fully specified when its major type and format type are set.
bool TypeHasWildcards(const AM_MEDIA_TYPE& type);

class MediaTypeRecord : public AM_MEDIA_TYPE {
public:
    MediaTypeRecord();
    explicit MediaTypeRecord(const AM_MEDIA_TYPE& source, HRESULT* result = nullptr);
    MediaTypeRecord(const MediaTypeRecord& source);
    ~MediaTypeRecord();
    MediaTypeRecord& operator=(const MediaTypeRecord& other);

    HRESULT Assign(const AM_MEDIA_TYPE& other);
    bool Equals(const AM_MEDIA_TYPE& other) const;
    bool MatchesPattern(const AM_MEDIA_TYPE& pattern) const;
    bool HasWildcards() const;

    // Back to the empty record, freeing what it owned.
    void Clear();
};

// The empty type: all zero but fixed-size samples of size 1.
void InitEmptyType(AM_MEDIA_TYPE* record);
