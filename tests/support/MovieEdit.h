// Edits a well-formed movie box by box, for hostile inputs: every box is found
// by its path, and boxes may be inserted, removed or copied with the sizes of
// their containers kept right, before the damage itself is patched in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One box of the mapped file. Paths join the types from the top level down
// with dots ("moov.trak2.mdia.minf.stbl.stsz"); a type that repeats among its
// siblings is numbered from its second box on ("free2"), and track boxes are
// always numbered from 1.
struct BoxPlace {
    std::string path;
    std::string type;
    size_t start = 0; // of its size field
    size_t size = 0;  // header included
    size_t End() const { return start + size; }
};

// The boxes of bytes depth first in file order. Containers and sample entries
// are entered at the offsets the formats give their children; a box whose
// size does not fit its container ends that container's map.
std::vector<BoxPlace> MapBoxes(const std::vector<uint8_t>& bytes);

class MovieEdit {
public:
    explicit MovieEdit(std::vector<uint8_t> bytes);

    // The box at path; a path that the movie lacks is a fault of the caller
    // and ends the program with its name.
    const BoxPlace& Box(const std::string& path) const;
    bool Has(const std::string& path) const;
    const std::vector<BoxPlace>& Boxes() const { return boxes; }
    size_t Size() const { return bytes.size(); }

    // Overwrites big-endian numbers in place (the damage itself: no size is
    // kept right, and the map is not renewed).
    MovieEdit& Put8(size_t at, uint8_t value);
    MovieEdit& Put16(size_t at, uint16_t value);
    MovieEdit& Put32(size_t at, uint32_t value);
    // Bytes of the box at path, counted from its first byte.
    MovieEdit& PutIn(const std::string& path, size_t offset, uint32_t value)
    {
        return Put32(Box(path).start + offset, value);
    }

    // Structural edits: the containers grow or shrink with them.
    // Inserts bytes at the absolute position at, inside the box at container
    // (empty for the top level).
    MovieEdit& Insert(const std::string& container, size_t at, const std::vector<uint8_t>& inserted);
    // Inserts bytes right after the box at path, in the same container.
    MovieEdit& InsertAfter(const std::string& path, const std::vector<uint8_t>& inserted);
    // Inserts bytes as the first child of the box at path.
    MovieEdit& InsertFirst(const std::string& path, const std::vector<uint8_t>& inserted);
    MovieEdit& Remove(const std::string& path);
    // A copy of the box right after it.
    MovieEdit& Duplicate(const std::string& path);
    // Moves the box at path to just after the box at after (a sibling).
    MovieEdit& MoveAfter(const std::string& path, const std::string& after);
    // The box's bytes, header included.
    std::vector<uint8_t> Copy(const std::string& path) const;

    const std::vector<uint8_t>& Bytes() const { return bytes; }

private:
    // Adds delta to the size of the box at container and of every box around it.
    void Resize(const std::string& container, long long delta);

    std::vector<uint8_t> bytes;
    std::vector<BoxPlace> boxes;
};
