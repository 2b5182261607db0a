#pragma once
// LnDisplayLists: the two OpenGL display lists a mesh draws from, one with
// positions only (geometry) and one with colours and normals (shaded), and
// the flat-shading choice the shaded list is compiled for.
//
// The mesh hands over two compile functions, called between glNewList and
// glEndList, and a count of the vertices they send. build() compiles both lists at once when an OpenGL context is
// current; without one (glGenLists answers 0) nothing is built and the first
// draw builds them. Deleting lists (release, build, setFlat, destruction)
// needs the context that built them to be current.

#include <cstddef>
#include <functional>

class LnDisplayLists {
public:
    LnDisplayLists(std::function<void()> compileGeometry, std::function<void()> compileShaded,
                   std::function<size_t()> vertexCount);
    ~LnDisplayLists(); // deletes the lists that exist
    LnDisplayLists(const LnDisplayLists&) = delete;
    LnDisplayLists& operator=(const LnDisplayLists&) = delete;

    // Deletes the lists that exist and compiles both anew. The memory the
    // OpenGL library will take for them is asked for first (about
    // bytesPerVertex for each vertex sent), because the library does not
    // survive running out while it compiles: std::bad_alloc when it cannot
    // be had, and nothing is built. An OpenGL error afterwards ends the
    // program through lnFatal
    // ("LnBoxyMesh::makeDisplayLists: %s\n" with the GLU text).
    void build();
    // Deletes the lists that exist; nothing is left pending.
    void release();
    // Deletes the lists that exist and leaves both to the first draw.
    void defer();
    // Stores the choice and rebuilds both lists (or, deferred, leaves them
    // to the first draw).
    void setFlat(bool flat, bool deferred = false);
    bool isFlat() const { return flat; }

    // Call the list, building both first when they are pending.
    void drawGeometry();
    void drawShaded();

    // The lists' OpenGL names, -1 when not built.
    int geometryName() const { return geometryList; }
    int shadedName() const { return shadedList; }

    // Positions for both lists, normals and colours for the shaded one,
    // held twice while the library compiles, with room to spare.
    static constexpr size_t bytesPerVertex = 128;

private:
    static void compile(unsigned int name, const std::function<void()>& body);

    std::function<void()> compileGeometry;
    std::function<void()> compileShaded;
    std::function<size_t()> vertexCount;
    bool flat = false;
    bool pending = false;
    int geometryList = -1;
    int shadedList = -1;
};
