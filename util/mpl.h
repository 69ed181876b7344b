#pragma once
// Memory pool: an object stack in which objects are built piece by piece (mpl_grow) and
// finished (mpl_finish); everything is released at once (mpl_destroy) or back to a mark
// (mpl_free_to). Running out of memory ends the process.
#include <cstddef>

constexpr size_t MPL_ALIGN = 16;

struct MPL_Chunk {
    MPL_Chunk* prev;  // older chunk
    char* end;        // end of this chunk
};

struct MPL {
    MPL_Chunk* chunk;  // newest chunk
    char* base;        // start of the object under construction
    char* next;        // next free byte
    char* limit;       // end of the current chunk
};

void mpl_init(MPL* pool);
void mpl_destroy(MPL* pool);
void* mpl_grow(MPL* pool, const void* bytes, size_t n);
void* mpl_blank(MPL* pool, size_t n);
void* mpl_finish(MPL* pool);
void* mpl_finish_len(MPL* pool, size_t* length);
void* mpl_alloc(MPL* pool, size_t n);
void* mpl_align(MPL* pool);
size_t mpl_object_size(const MPL* pool);
void mpl_free_to(MPL* pool, void* address);
void mpl_newchunk(MPL* pool, size_t n);

// First object position of a chunk.
char* mpl_chunk_start(MPL_Chunk* chunk);
