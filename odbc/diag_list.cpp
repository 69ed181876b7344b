#include <cstdlib>
#include <cstring>
#include <new>

#include "odbc/diag.h"
#include "util/trymem.h"

void DiagPost(HandleBase* h, const char* text, uint32_t native) {
    if (!h || !text) return;
    auto* r = static_cast<DiagRecord*>(TryCalloc(1, sizeof(DiagRecord)));
    if (!r) return;
    r->text = TryStrdup(text);
    if (!r->text) {
        TryFree(r);
        return;
    }
    r->native = native;
    if (h->diags.tail)
        h->diags.tail->next = r;
    else
        h->diags.head = r;
    h->diags.tail = r;
}

char* DiagPop(HandleBase* h, uint32_t* native) {
    if (!h || !h->diags.head) return nullptr;
    DiagRecord* r = h->diags.head;
    h->diags.head = r->next;
    if (!h->diags.head) h->diags.tail = nullptr;
    if (native) *native = r->native;
    char* text = r->text;
    TryFree(r);
    return text;
}

void DiagFreeAll(HandleBase* h) {
    if (!h) return;
    while (char* t = DiagPop(h, nullptr)) free(t);
}

uint32_t DiagCount(const HandleBase* h) {
    uint32_t n = 0;
    for (const DiagRecord* r = h->diags.head; r; r = r->next) ++n;
    return n;
}
