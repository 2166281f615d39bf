#include "tests/support/MovieEdit.h"

#include <cstdio>
#include <cstdlib>
#include <map>

namespace {

// Deeper boxes are left out of the map: the nesting bombs are deeper than any
// edit needs to reach, and the map must not recurse that far.
constexpr int kMaxMapDepth = 12;

constexpr size_t kNotAContainer = SIZE_MAX;

// Where the children of a box start, counted from the end of its header.
size_t ChildrenOffset(const std::vector<uint8_t>& bytes, const BoxPlace& box, const std::string& parentType)
{
    static const char* const kContainers[] = {"moov", "trak", "mdia", "minf", "dinf", "stbl", "edts",
                                              "udta", "wave", "tref", "mvex", "moof", "traf"};
    for (const char* type : kContainers)
        if (box.type == type)
            return 0;
    if (box.type == "stsd" || box.type == "dref")
        return 8; // version and flags, entry count
    if (parentType != "stsd")
        return kNotAContainer;
    if (box.type == "avc1" || box.type == "mp4v")
        return 78; // the visual fields
    if (box.type == "mp4a" && box.size >= 8 + 12) {
        const uint32_t version = ReadBig32(bytes, box.start + 8 + 8) >> 16;
        return 28 + (version == 1 ? 16 : version == 2 ? 36 : 0);
    }
    return kNotAContainer;
}

void MapRange(const std::vector<uint8_t>& bytes, size_t position, size_t end, const std::string& prefix,
              const std::string& parentType, int depth, std::vector<BoxPlace>& boxes)
{
    std::map<std::string, int> seen;
    while (position + 8 <= end) {
        BoxPlace box;
        box.size = ReadBig32(bytes, position);
        box.type.assign(bytes.begin() + std::ptrdiff_t(position + 4), bytes.begin() + std::ptrdiff_t(position + 8));
        box.start = position;
        if (box.size < 8 || box.size > end - position)
            return;
        const int number = ++seen[box.type];
        std::string name = box.type;
        if (box.type == "trak" || number > 1)
            name += std::to_string(number);
        box.path = prefix.empty() ? name : prefix + "." + name;
        boxes.push_back(box);
        const size_t children = ChildrenOffset(bytes, box, parentType);
        if (children != kNotAContainer && depth < kMaxMapDepth && 8 + children <= box.size)
            MapRange(bytes, box.start + 8 + children, box.End(), box.path, box.type, depth + 1, boxes);
        position = box.End();
    }
}

bool IsWithin(const std::string& path, const std::string& container)
{
    return path == container || (path.size() > container.size() && path.compare(0, container.size(), container) == 0 &&
                                 path[container.size()] == '.');
}

std::string ParentOf(const std::string& path)
{
    const size_t dot = path.rfind('.');
    return dot == std::string::npos ? "" : path.substr(0, dot);
}

} // namespace

uint32_t ReadBig32(const std::vector<uint8_t>& bytes, size_t at)
{
    return uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 | uint32_t(bytes[at + 2]) << 8 | bytes[at + 3];
}

std::vector<BoxPlace> MapBoxes(const std::vector<uint8_t>& bytes)
{
    std::vector<BoxPlace> boxes;
    MapRange(bytes, 0, bytes.size(), "", "", 0, boxes);
    return boxes;
}

MovieEdit::MovieEdit(std::vector<uint8_t> bytes) : bytes(std::move(bytes)), boxes(MapBoxes(this->bytes)) {}

bool MovieEdit::Has(const std::string& path) const
{
    for (const BoxPlace& box : boxes)
        if (box.path == path)
            return true;
    return false;
}

const BoxPlace& MovieEdit::Box(const std::string& path) const
{
    for (const BoxPlace& box : boxes)
        if (box.path == path)
            return box;
    std::fprintf(stderr, "MovieEdit: the movie has no box %s\n", path.c_str());
    std::abort();
}

MovieEdit& MovieEdit::Put8(size_t at, uint8_t value)
{
    bytes.at(at) = value;
    return *this;
}

MovieEdit& MovieEdit::Put16(size_t at, uint16_t value)
{
    return Put8(at, uint8_t(value >> 8)).Put8(at + 1, uint8_t(value));
}

MovieEdit& MovieEdit::Put32(size_t at, uint32_t value)
{
    return Put16(at, uint16_t(value >> 16)).Put16(at + 2, uint16_t(value));
}

void MovieEdit::Resize(const std::string& container, long long delta)
{
    if (container.empty())
        return;
    for (const BoxPlace& box : boxes)
        if (IsWithin(container, box.path))
            Put32(box.start, uint32_t(static_cast<long long>(box.size) + delta));
}

MovieEdit& MovieEdit::Insert(const std::string& container, size_t at, const std::vector<uint8_t>& inserted)
{
    Resize(container, static_cast<long long>(inserted.size()));
    bytes.insert(bytes.begin() + std::ptrdiff_t(at), inserted.begin(), inserted.end());
    boxes = MapBoxes(bytes);
    return *this;
}

MovieEdit& MovieEdit::InsertAfter(const std::string& path, const std::vector<uint8_t>& inserted)
{
    return Insert(ParentOf(path), Box(path).End(), inserted);
}

MovieEdit& MovieEdit::InsertFirst(const std::string& path, const std::vector<uint8_t>& inserted)
{
    const BoxPlace& box = Box(path);
    std::string parentType;
    for (const BoxPlace& parent : boxes)
        if (parent.path == ParentOf(path))
            parentType = parent.type;
    const size_t children = ChildrenOffset(bytes, box, parentType);
    if (children == kNotAContainer) {
        std::fprintf(stderr, "MovieEdit: %s holds no boxes\n", path.c_str());
        std::abort();
    }
    return Insert(path, box.start + 8 + children, inserted);
}

MovieEdit& MovieEdit::Remove(const std::string& path)
{
    const BoxPlace box = Box(path);
    Resize(ParentOf(path), -static_cast<long long>(box.size));
    bytes.erase(bytes.begin() + std::ptrdiff_t(box.start), bytes.begin() + std::ptrdiff_t(box.End()));
    boxes = MapBoxes(bytes);
    return *this;
}

std::vector<uint8_t> MovieEdit::Copy(const std::string& path) const
{
    const BoxPlace& box = Box(path);
    return std::vector<uint8_t>(bytes.begin() + std::ptrdiff_t(box.start), bytes.begin() + std::ptrdiff_t(box.End()));
}

MovieEdit& MovieEdit::Duplicate(const std::string& path)
{
    return InsertAfter(path, Copy(path));
}

MovieEdit& MovieEdit::MoveAfter(const std::string& path, const std::string& after)
{
    // Removing the box may renumber its siblings, so the place is taken first.
    const BoxPlace moved = Box(path);
    const BoxPlace target = Box(after);
    const std::vector<uint8_t> bytesMoved = Copy(path);
    const size_t at = target.start > moved.start ? target.End() - moved.size : target.End();
    Remove(path);
    return Insert(ParentOf(after), at, bytesMoved);
}
