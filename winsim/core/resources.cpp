// winsim: the resource table of a program's image.
#include "winsim/resources.h"

#include "winsim/kernel.h"

namespace winsim {

namespace {
constexpr const char* kExtKey = "resources";
}

const MenuSpec* ResourceTable::FindMenu(WORD id) const {
    for (const auto& m : menus)
        if (m.id == id) return &m;
    return nullptr;
}

const DialogSpec* ResourceTable::FindDialog(WORD id) const {
    for (const auto& d : dialogs)
        if (d.id == id) return &d;
    return nullptr;
}

bool ResourceTable::HasIcon(WORD id) const {
    for (WORD i : icons)
        if (i == id) return true;
    return false;
}

const BitmapSpec* ResourceTable::FindBitmap(WORD id) const {
    for (const auto& b : bitmaps)
        if (b.id == id) return &b;
    return nullptr;
}

namespace resources {

void Attach(Process& p, std::shared_ptr<const ResourceTable> table) {
    p.ext[kExtKey] = std::const_pointer_cast<ResourceTable>(std::move(table));
}

std::shared_ptr<const ResourceTable> Of(const Process& p) {
    auto it = p.ext.find(kExtKey);
    if (it == p.ext.end()) return nullptr;
    return std::static_pointer_cast<const ResourceTable>(it->second);
}

int DluToPixelsX(int x) { return x * 8 / 4; }
int DluToPixelsY(int y) { return y * 16 / 8; }

}  // namespace resources
}  // namespace winsim
