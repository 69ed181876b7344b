#include "util/cursor_window.h"

#include <cstring>

#include "util/errtable.h"

bool CursorWindow::BookmarkFetched(uint64_t bookmark) const {
    if (bookmark == 0 || bookmark > 0xFFFFFFFFull) return false;
    if (rowBookmarks_ != nullptr) {
        for (uint32_t i = 0; i < rowBookmarkCount_; ++i)
            if (rowBookmarks_[i] == bookmark) return true;
        return false;
    }
    return bookmark >= rowsetFirst_ && bookmark - rowsetFirst_ < fetchedRows_;
}

uint32_t CursorWindow::ByBookmarks(const uint32_t* bookmarks, uint32_t n) {
    if (bookmarks == nullptr && n != 0) return kErrBadArg;
    auto* copy = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) * (n ? n : 1)));
    if (copy == nullptr) return kErrNoMemory;
    if (n) std::memcpy(copy, bookmarks, sizeof(uint32_t) * n);
    DropBookmarks();
    rowBookmarks_ = copy;
    rowBookmarkCount_ = n;
    fetchedRows_ = n;
    Check();
    return 0;
}

uint32_t CursorWindow::SetPos(int32_t position) {
    if (position == kCursorBeforeFirst || position == kCursorAfterLast) {
        currentRow_ = rowsetStart_ = position;
    } else if (position == kCursorWholeRowset) {
        currentRow_ = position;
    } else if (position < 0 || (resultRows_ != -1 && position > resultRows_)) {
        return kErrRowRange;
    } else {
        currentRow_ = position;
    }
    Check();
    return 0;
}
