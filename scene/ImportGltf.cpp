// glTF 2.0 reader. The file (.gltf JSON with its buffers beside it or in
// data URIs, or one .glb) is parsed by TinyGLTF; everything after that is
// checked here: every index into the document's arrays, every accessor
// against its buffer view and buffer, every vertex index against its
// positions, the node tree for cycles and depth. Each mesh instance of the
// scene gives one mesh per material, placed by its node's world matrix and
// turned from glTF's +y up to +z up.

#include "scene/ImportGltf.h"

#include <tiny_gltf.h>

#include <stb/stb_image.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cmath>
#include <exception>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

namespace {

// Deepest node nesting followed, and node visits in all.
constexpr int maxDepth = 1024;
constexpr long long maxVisits = 1ll << 20;
// Images larger than this many pixels are not decoded for their colour.
constexpr long long maxImagePixels = 64ll * 1024 * 1024;

void note(const char* format, const std::string& what)
{
    std::fprintf(stderr, "glTF: ");
    std::fprintf(stderr, format, what.c_str());
    std::fprintf(stderr, "\n");
    std::fflush(stderr);
}

// 4 x 4 matrices of doubles, column by column (element (r, c) at 4c + r).
struct Mat {
    double m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    Mat operator*(const Mat& b) const
    {
        Mat r;
        for (int c = 0; c < 4; ++c) {
            for (int row = 0; row < 4; ++row) {
                double s = 0.0;
                for (int k = 0; k < 4; ++k) {
                    s += m[4 * k + row] * b.m[4 * c + k];
                }
                r.m[4 * c + row] = s;
            }
        }
        return r;
    }
    vec point(const vec& p) const
    {
        vec r;
        for (int row = 0; row < 3; ++row) {
            r[row] = float(m[row] * p[0] + m[4 + row] * p[1] + m[8 + row] * p[2] + m[12 + row]);
        }
        return r;
    }
    // The matrix for normals: the inverse transpose of the upper 3 x 3,
    // from its cofactors (the scale does not matter, normals are made unit).
    Mat normalMatrix() const
    {
        auto a = [this](int r, int c) { return m[4 * c + r]; };
        Mat n;
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) {
                const int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
                n.m[4 * c + r] = a(r1, c1) * a(r2, c2) - a(r1, c2) * a(r2, c1);
            }
        }
        return n;
    }
    vec direction(const vec& d) const
    {
        vec r;
        for (int row = 0; row < 3; ++row) {
            r[row] = float(m[row] * d[0] + m[4 + row] * d[1] + m[8 + row] * d[2]);
        }
        return r;
    }
};

// glTF's +y up to the scene's +z up: (x, y, z) -> (x, -z, y).
Mat upTurn()
{
    Mat u;
    u.m[5] = 0.0;
    u.m[6] = 1.0;
    u.m[9] = -1.0;
    u.m[10] = 0.0;
    return u;
}

Mat localMatrix(const tinygltf::Node& node)
{
    Mat m;
    if (node.matrix.size() == 16) {
        for (int k = 0; k < 16; ++k) {
            m.m[k] = node.matrix[size_t(k)];
        }
        return m;
    }
    Mat t, r, s;
    if (node.translation.size() == 3) {
        t.m[12] = node.translation[0];
        t.m[13] = node.translation[1];
        t.m[14] = node.translation[2];
    }
    if (node.rotation.size() == 4) {
        double x = node.rotation[0], y = node.rotation[1], z = node.rotation[2],
               w = node.rotation[3];
        const double l = std::sqrt(x * x + y * y + z * z + w * w);
        if (l > 0.0 && std::isfinite(l)) {
            x /= l, y /= l, z /= l, w /= l;
        }
        r.m[0] = 1 - 2 * (y * y + z * z);
        r.m[1] = 2 * (x * y + z * w);
        r.m[2] = 2 * (x * z - y * w);
        r.m[4] = 2 * (x * y - z * w);
        r.m[5] = 1 - 2 * (x * x + z * z);
        r.m[6] = 2 * (y * z + x * w);
        r.m[8] = 2 * (x * z + y * w);
        r.m[9] = 2 * (y * z - x * w);
        r.m[10] = 1 - 2 * (x * x + y * y);
    }
    if (node.scale.size() == 3) {
        s.m[0] = node.scale[0];
        s.m[5] = node.scale[1];
        s.m[10] = node.scale[2];
    }
    return t * r * s;
}

// Whether an image stored in a buffer view lies inside its buffer.
// TinyGLTF hands over the view's bytes without checking them against the
// buffer, so a view reaching past its buffer would have the decoder read
// beyond it.
bool imageViewInsideBuffer(const tinygltf::Image& image, const tinygltf::Model& model)
{
    if (image.bufferView < 0)
        return true; // bytes of its own (a data URI or a file)
    if (size_t(image.bufferView) >= model.bufferViews.size())
        return false;
    const tinygltf::BufferView& view = model.bufferViews[size_t(image.bufferView)];
    if (view.buffer < 0 || size_t(view.buffer) >= model.buffers.size())
        return false;
    const size_t have = model.buffers[size_t(view.buffer)].data.size();
    return view.byteOffset <= have && view.byteLength <= have - view.byteOffset;
}

// What the image loader learns of each image, by its index: the average
// colour (for a mesh that cannot show the image) and whether its bytes are
// kept.
struct ImageNotes {
    const tinygltf::Model* model = nullptr;
    std::string folder; // the document's folder; empty for one in memory
    std::map<int, std::array<unsigned char, 3>> averages;
    std::set<int> refused; // external files outside the folder
};

// Whether the external image `uri` (as the document writes it) names a
// file inside `folder`, links followed.
bool insideFolder(const std::string& uri, const std::string& folder)
{
    // The URI's %XX escapes, as TinyGLTF decodes them before reading.
    std::string path;
    for (size_t i = 0; i < uri.size(); ++i) {
        if (uri[i] == '%' && i + 2 < uri.size() && std::isxdigit((unsigned char)uri[i + 1]) &&
            std::isxdigit((unsigned char)uri[i + 2])) {
            path += char(std::stoi(uri.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            path += uri[i];
        }
    }
    if (path.empty() || path[0] == '/' || path.find('\\') != std::string::npos ||
        path.find(':') != std::string::npos) {
        return false;
    }
    char* base = realpath(folder.empty() ? "." : folder.c_str(), nullptr);
    char* full = realpath(((folder.empty() ? std::string(".") : folder) + "/" + path).c_str(),
                          nullptr);
    const bool inside = base && full && std::strncmp(full, base, std::strlen(base)) == 0 &&
                        full[std::strlen(base)] == '/';
    std::free(base);
    std::free(full);
    return inside;
}

// Keeps an image's encoded bytes (the scene decodes them with its size
// checked) and notes its average colour, decoded here only when its size
// allows. `notes` is the ImageNotes of the model being loaded.
bool keepImage(tinygltf::Image* image, const int index, std::string*, std::string*, int, int,
               const unsigned char* bytes, int size, void* notes)
{
    ImageNotes& n = *static_cast<ImageNotes*>(notes);
    image->width = image->height = 0;
    image->image.clear();
    if (!imageViewInsideBuffer(*image, *n.model)) {
        note("%s", "an image's buffer view reaches past its buffer: it is not used");
        return true;
    }
    if (!image->uri.empty() && !insideFolder(image->uri, n.folder)) {
        note("the image \"%s\" lies outside the model's folder: it is refused", image->uri);
        n.refused.insert(index);
        return true;
    }
    if (size <= 0 || uint64_t(size) > ImportedScene::maxImageBytes) {
        return true;
    }
    image->image.assign(bytes, bytes + size);
    int w = 0, h = 0, c = 0;
    if (!stbi_info_from_memory(bytes, size, &w, &h, &c) || (long long)w * h > maxImagePixels) {
        return true;
    }
    unsigned char* pixels = stbi_load_from_memory(bytes, size, &w, &h, &c, 3);
    if (!pixels) {
        return true;
    }
    double sum[3] = {0, 0, 0};
    const long long count = (long long)w * h;
    for (long long i = 0; i < count; ++i) {
        for (int k = 0; k < 3; ++k) {
            sum[k] += pixels[3 * i + k];
        }
    }
    stbi_image_free(pixels);
    std::array<unsigned char, 3> average;
    for (int k = 0; k < 3; ++k) {
        average[size_t(k)] =
            count > 0 ? (unsigned char)std::lround(sum[k] / double(count)) : (unsigned char)255;
    }
    n.averages[index] = average;
    image->width = w;
    image->height = h;
    return true;
}

class Reader {
public:
    Reader(const tinygltf::Model& model, const ImageNotes& images, ImportedScene& out)
        : model(model), images(images), out(out)
    {
    }

    void run()
    {
        std::vector<int> roots;
        if (!model.scenes.empty()) {
            int scene = model.defaultScene;
            if (scene < 0 || size_t(scene) >= model.scenes.size()) {
                scene = 0;
            }
            roots = model.scenes[size_t(scene)].nodes;
        } else {
            // No scene: every node that is no other node's child.
            std::vector<bool> child(model.nodes.size(), false);
            for (const tinygltf::Node& n : model.nodes) {
                for (int c : n.children) {
                    if (c >= 0 && size_t(c) < child.size()) {
                        child[size_t(c)] = true;
                    }
                }
            }
            for (size_t i = 0; i < child.size(); ++i) {
                if (!child[i]) {
                    roots.push_back(int(i));
                }
            }
        }
        for (int root : roots) {
            visit(root, upTurn(), 0);
            if (!error.empty()) {
                break;
            }
        }
        if (!error.empty()) {
            out.meshes.clear();
            out.reason = error;
        } else if (out.meshes.empty()) {
            out.reason = cycle.empty() ? "the glTF scene holds no triangles" : cycle;
        }
    }

private:
    const tinygltf::Model& model;
    const ImageNotes& images;
    ImportedScene& out;
    std::string error; // refuses the whole file
    std::string cycle;
    std::vector<char> onPath;
    long long visits = 0;
    uint64_t triangles = 0, positions = 0;
    std::set<std::string> said;

    void once(const std::string& line)
    {
        if (said.insert(line).second) {
            note("%s", line);
        }
    }

    void visit(int index, const Mat& parent, int depth)
    {
        if (index < 0 || size_t(index) >= model.nodes.size()) {
            error = "the glTF scene names node " + std::to_string(index) + ", which does not exist";
            return;
        }
        if (onPath.size() < model.nodes.size()) {
            onPath.assign(model.nodes.size(), 0);
        }
        if (onPath[size_t(index)]) {
            cycle = "glTF node " + std::to_string(index) +
                    " is its own ancestor (the node tree has a cycle)";
            once(cycle + "; the branch is left out");
            return;
        }
        if (depth > maxDepth || ++visits > maxVisits) {
            once("the node tree is nested or repeated beyond the importer's limits; part of it is "
                 "left out");
            return;
        }
        const tinygltf::Node& node = model.nodes[size_t(index)];
        const Mat world = parent * localMatrix(node);
        if (node.mesh >= 0) {
            addMesh(node.mesh, world);
        }
        if (node.camera >= 0 && size_t(node.camera) < model.cameras.size() && !out.cameraKnown) {
            bool finite = true;
            for (double v : world.m) {
                finite = finite && std::isfinite(v);
            }
            if (finite) {
                out.cameraKnown = true;
                std::memcpy(out.camera, world.m, sizeof world.m);
            }
        }
        if (node.skin >= 0) {
            once("skins are ignored: skinned meshes are shown as their nodes place them");
        }
        onPath[size_t(index)] = 1;
        for (int child : node.children) {
            visit(child, world, depth + 1);
            if (!error.empty()) {
                break;
            }
        }
        onPath[size_t(index)] = 0;
    }

    // The bytes of an accessor's elements: the first element and the stride,
    // after checking that `count` elements of `elementSize` bytes fit.
    const unsigned char* accessorData(int index, int wantType, size_t& count, size_t& stride,
                                      int& componentType)
    {
        const std::string name = "accessor " + std::to_string(index);
        if (index < 0 || size_t(index) >= model.accessors.size()) {
            error = "a glTF primitive names " + name + ", which does not exist";
            return nullptr;
        }
        const tinygltf::Accessor& a = model.accessors[size_t(index)];
        if (a.sparse.isSparse) {
            once("sparse accessors are read without their sparse values");
        }
        if (a.type != wantType) {
            error = "glTF " + name + " has the wrong element type";
            return nullptr;
        }
        componentType = a.componentType;
        size_t componentSize;
        switch (a.componentType) {
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE:
            componentSize = 1;
            break;
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT:
            componentSize = 2;
            break;
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT:
        case TINYGLTF_COMPONENT_TYPE_FLOAT:
            componentSize = 4;
            break;
        default:
            error = "glTF " + name + " has a component type Kelvane does not read";
            return nullptr;
        }
        const size_t components =
            wantType == TINYGLTF_TYPE_VEC3 ? 3 : wantType == TINYGLTF_TYPE_VEC2 ? 2 : 1;
        const size_t elementSize = componentSize * components;
        count = a.count;
        if (count > ImportedScene::maxPositions * 3) {
            error = "glTF " + name + " announces " + std::to_string(count) +
                    " elements, more than Kelvane reads";
            return nullptr;
        }
        if (a.bufferView < 0 || size_t(a.bufferView) >= model.bufferViews.size()) {
            error = "glTF " + name + " names buffer view " + std::to_string(a.bufferView) +
                    ", which does not exist";
            return nullptr;
        }
        const tinygltf::BufferView& view = model.bufferViews[size_t(a.bufferView)];
        if (view.buffer < 0 || size_t(view.buffer) >= model.buffers.size()) {
            error = "glTF buffer view " + std::to_string(a.bufferView) + " names buffer " +
                    std::to_string(view.buffer) + ", which does not exist";
            return nullptr;
        }
        const std::vector<unsigned char>& buffer = model.buffers[size_t(view.buffer)].data;
        stride = view.byteStride ? view.byteStride : elementSize;
        if (stride < elementSize) {
            error = "glTF buffer view " + std::to_string(a.bufferView) +
                    " has a stride shorter than its elements";
            return nullptr;
        }
        // In 64 bits: the sizes come from the file and may be anything.
        const unsigned long long viewEnd =
            (unsigned long long)view.byteOffset + (unsigned long long)view.byteLength;
        const unsigned long long need =
            count == 0 ? 0
                       : (unsigned long long)a.byteOffset +
                             (unsigned long long)stride * (count - 1) + elementSize;
        if (view.byteOffset > buffer.size() || viewEnd > buffer.size() ||
            a.byteOffset > view.byteLength || need > view.byteLength) {
            error = "glTF " + name + " reaches past the end of its buffer (it needs " +
                    std::to_string(need) + " bytes of buffer view " +
                    std::to_string(a.bufferView) + ", which has " +
                    std::to_string(view.byteOffset <= buffer.size() && viewEnd <= buffer.size()
                                       ? view.byteLength
                                       : 0) +
                    ")";
            return nullptr;
        }
        return buffer.data() + view.byteOffset + a.byteOffset;
    }

    bool readVec3(int index, std::vector<vec>& out3)
    {
        size_t count = 0, stride = 0;
        int type = 0;
        const unsigned char* p = accessorData(index, TINYGLTF_TYPE_VEC3, count, stride, type);
        if (!p) {
            return false;
        }
        if (type != TINYGLTF_COMPONENT_TYPE_FLOAT) {
            error = "glTF accessor " + std::to_string(index) + " holds positions or normals that "
                                                               "are not floats";
            return false;
        }
        out3.resize(count);
        for (size_t i = 0; i < count; ++i) {
            std::memcpy(&out3[i], p + i * stride, sizeof(vec));
        }
        return true;
    }

    bool readIndices(int index, std::vector<uint32_t>& list)
    {
        size_t count = 0, stride = 0;
        int type = 0;
        const unsigned char* p = accessorData(index, TINYGLTF_TYPE_SCALAR, count, stride, type);
        if (!p) {
            return false;
        }
        if (type == TINYGLTF_COMPONENT_TYPE_FLOAT) {
            error = "glTF accessor " + std::to_string(index) + " gives indices as floats";
            return false;
        }
        list.resize(count);
        for (size_t i = 0; i < count; ++i) {
            const unsigned char* e = p + i * stride;
            if (type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE) {
                list[i] = e[0];
            } else if (type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT) {
                uint16_t v;
                std::memcpy(&v, e, 2);
                list[i] = v;
            } else {
                std::memcpy(&list[i], e, 4);
            }
        }
        return true;
    }

    // Texture coordinates as floats (normalized integers scaled to 0..1),
    // turned to v upwards: glTF's v runs down from the image's top row.
    bool readUvs(int index, std::vector<float>& uv)
    {
        size_t count = 0, stride = 0;
        int type = 0;
        const unsigned char* p = accessorData(index, TINYGLTF_TYPE_VEC2, count, stride, type);
        if (!p) {
            return false;
        }
        if (type != TINYGLTF_COMPONENT_TYPE_FLOAT && type != TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE &&
            type != TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT) {
            error = "glTF accessor " + std::to_string(index) +
                    " holds texture coordinates of a type Kelvane does not read";
            return false;
        }
        uv.resize(2 * count);
        for (size_t i = 0; i < count; ++i) {
            const unsigned char* e = p + i * stride;
            float t[2];
            for (int k = 0; k < 2; ++k) {
                if (type == TINYGLTF_COMPONENT_TYPE_FLOAT) {
                    std::memcpy(&t[k], e + 4 * k, 4);
                } else if (type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE) {
                    t[k] = float(e[k]) / 255.0f;
                } else {
                    uint16_t v;
                    std::memcpy(&v, e + 2 * k, 2);
                    t[k] = float(v) / 65535.0f;
                }
            }
            uv[2 * i] = std::isfinite(t[0]) ? t[0] : 0.0f;
            uv[2 * i + 1] = std::isfinite(t[1]) ? 1.0f - t[1] : 0.0f;
        }
        return true;
    }

    // How a sampler continues an image beyond [0, 1].
    static ImageWrap wrapOf(int mode)
    {
        return mode == TINYGLTF_TEXTURE_WRAP_CLAMP_TO_EDGE     ? ImageWrap::Clamp
               : mode == TINYGLTF_TEXTURE_WRAP_MIRRORED_REPEAT ? ImageWrap::Mirror
                                                               : ImageWrap::Repeat;
    }

    // A base colour texture's KHR_texture_transform: offset, rotation
    // (counter-clockwise in the image, radians) and scale of the texture
    // coordinates, and the set it takes them from instead (-1: the
    // texture's own).
    struct UvTransform {
        bool given = false;
        double offset[2] = {0.0, 0.0}, rotation = 0.0, scale[2] = {1.0, 1.0};
        int texCoord = -1;
    };

    UvTransform uvTransform(int material) const
    {
        UvTransform t;
        if (material < 0 || size_t(material) >= model.materials.size()) {
            return t;
        }
        const tinygltf::ExtensionMap& extensions =
            model.materials[size_t(material)].pbrMetallicRoughness.baseColorTexture.extensions;
        const auto found = extensions.find("KHR_texture_transform");
        if (found == extensions.end() || !found->second.IsObject()) {
            return t;
        }
        const tinygltf::Value& v = found->second;
        auto number = [](const tinygltf::Value& n, double& out) {
            if (n.IsNumber() && std::isfinite(n.GetNumberAsDouble())) {
                out = n.GetNumberAsDouble();
            }
        };
        auto pair = [&](const char* key, double* out) {
            if (v.Has(key) && v.Get(key).IsArray() && v.Get(key).ArrayLen() == 2) {
                number(v.Get(key).Get(0), out[0]);
                number(v.Get(key).Get(1), out[1]);
            }
        };
        pair("offset", t.offset);
        pair("scale", t.scale);
        if (v.Has("rotation")) {
            number(v.Get("rotation"), t.rotation);
        }
        if (v.Has("texCoord") && v.Get("texCoord").IsInt() && v.Get("texCoord").Get<int>() >= 0) {
            t.texCoord = v.Get("texCoord").Get<int>();
        }
        t.given = true;
        return t;
    }

    // The texture coordinate set a material's base colour image uses.
    int uvSetOf(int material) const
    {
        if (material < 0 || size_t(material) >= model.materials.size()) {
            return 0;
        }
        const UvTransform t = uvTransform(material);
        const int set =
            t.texCoord >= 0
                ? t.texCoord
                : model.materials[size_t(material)].pbrMetallicRoughness.baseColorTexture.texCoord;
        return std::max(set, 0);
    }

    // Applies the transform to coordinates read by readUvs (v upwards): in
    // glTF's own frame (v down the image) as the extension defines it,
    // then turned back.
    static void transformUvs(const UvTransform& t, std::vector<float>& uv)
    {
        const double c = std::cos(t.rotation), s = std::sin(t.rotation);
        for (size_t i = 0; i + 1 < uv.size(); i += 2) {
            const double u = t.scale[0] * uv[i], v = t.scale[1] * (1.0 - uv[i + 1]);
            const float tu = float(t.offset[0] + c * u + s * v);
            const float tv = float(1.0 - (t.offset[1] - s * u + c * v));
            uv[i] = std::isfinite(tu) ? tu : 0.0f;
            uv[i + 1] = std::isfinite(tv) ? tv : 0.0f;
        }
    }

    // The base colour image of a material: its index in the document's
    // images, or -1.
    int baseColourImage(int material) const
    {
        if (material < 0 || size_t(material) >= model.materials.size()) {
            return -1;
        }
        const int texture =
            model.materials[size_t(material)].pbrMetallicRoughness.baseColorTexture.index;
        if (texture < 0 || size_t(texture) >= model.textures.size()) {
            return -1;
        }
        const int source = model.textures[size_t(texture)].source;
        return source >= 0 && size_t(source) < model.images.size() ? source : -1;
    }

    vec materialColour(int material, bool& known)
    {
        known = false;
        if (material < 0 || size_t(material) >= model.materials.size()) {
            return vec(1.0f, 1.0f, 1.0f);
        }
        known = true;
        const tinygltf::PbrMetallicRoughness& pbr =
            model.materials[size_t(material)].pbrMetallicRoughness;
        vec c(1.0f, 1.0f, 1.0f);
        if (pbr.baseColorFactor.size() >= 3) {
            for (int k = 0; k < 3; ++k) {
                const double v = pbr.baseColorFactor[size_t(k)];
                c[k] = std::isfinite(v) ? float(std::min(1.0, std::max(0.0, v))) : 1.0f;
            }
        }
        const auto average = images.averages.find(baseColourImage(material));
        if (average != images.averages.end()) {
            for (int k = 0; k < 3; ++k) {
                c[k] *= float(average->second[size_t(k)]) / 255.0f;
            }
        }
        return c;
    }

    // The material's factors and base colour image.
    void readMaterial(int material, ImportedMesh& m)
    {
        if (material < 0 || size_t(material) >= model.materials.size()) {
            return;
        }
        const tinygltf::Material& mat = model.materials[size_t(material)];
        const tinygltf::PbrMetallicRoughness& pbr = mat.pbrMetallicRoughness;
        ImportedMaterial& f = m.material;
        f.pbr = true;
        f.metallic = std::isfinite(pbr.metallicFactor) ? float(pbr.metallicFactor) : 1.0f;
        f.roughness = std::isfinite(pbr.roughnessFactor) ? float(pbr.roughnessFactor) : 1.0f;
        if (mat.alphaMode == "BLEND" && pbr.baseColorFactor.size() >= 4 &&
            std::isfinite(pbr.baseColorFactor[3])) {
            f.opacity = float(pbr.baseColorFactor[3]);
        }
        const int image = baseColourImage(material);
        if (image < 0 || images.refused.count(image)) {
            return;
        }
        const tinygltf::Image& img = model.images[size_t(image)];
        f.imageName = !img.uri.empty() ? img.uri
                      : !img.name.empty() ? img.name
                                          : "image " + std::to_string(image);
        // The colour stays the factor times the image's average: it is what
        // a mesh without texture coordinates, or a picture drawn without
        // images (thumbnails), shows.
        f.imageBytes.assign(img.image.begin(), img.image.end());
        const int sampler = model.textures[size_t(pbr.baseColorTexture.index)].sampler;
        if (sampler >= 0 && size_t(sampler) < model.samplers.size()) {
            f.wrapU = wrapOf(model.samplers[size_t(sampler)].wrapS);
            f.wrapV = wrapOf(model.samplers[size_t(sampler)].wrapT);
        }
    }

    void addMesh(int meshIndex, const Mat& world)
    {
        if (size_t(meshIndex) >= model.meshes.size()) {
            error = "a glTF node names mesh " + std::to_string(meshIndex) + ", which does not exist";
            return;
        }
        const tinygltf::Mesh& mesh = model.meshes[size_t(meshIndex)];
        const Mat normalMatrix = world.normalMatrix();
        // One mesh per material, in order of first use within this instance.
        std::map<int, size_t> byMaterial;
        for (const tinygltf::Primitive& prim : mesh.primitives) {
            if (prim.mode >= TINYGLTF_MODE_POINTS && prim.mode <= TINYGLTF_MODE_LINE_STRIP) {
                once("points and lines are skipped");
                continue;
            }
            if (prim.mode != TINYGLTF_MODE_TRIANGLES && prim.mode != TINYGLTF_MODE_TRIANGLE_STRIP &&
                prim.mode != TINYGLTF_MODE_TRIANGLE_FAN) {
                once("primitives of an unknown mode are skipped");
                continue;
            }
            if (!prim.targets.empty()) {
                once("morph targets are ignored");
            }
            const auto pos = prim.attributes.find("POSITION");
            if (pos == prim.attributes.end()) {
                once("a primitive without positions is skipped");
                continue;
            }
            std::vector<vec> p, n;
            if (!readVec3(pos->second, p)) {
                return;
            }
            const auto nor = prim.attributes.find("NORMAL");
            if (nor != prim.attributes.end()) {
                if (!readVec3(nor->second, n)) {
                    return;
                }
                if (n.size() != p.size()) {
                    n.clear();
                }
            }
            // The texture coordinates the material's base colour image uses.
            std::vector<float> uv;
            if (baseColourImage(prim.material) >= 0) {
                const std::string attribute = "TEXCOORD_" + std::to_string(uvSetOf(prim.material));
                const auto tex = prim.attributes.find(attribute);
                if (tex != prim.attributes.end()) {
                    if (!readUvs(tex->second, uv)) {
                        return;
                    }
                    if (uv.size() != 2 * p.size()) {
                        uv.clear();
                    }
                    const UvTransform transform = uvTransform(prim.material);
                    if (transform.given) {
                        transformUvs(transform, uv);
                    }
                }
            }
            std::vector<uint32_t> order;
            if (prim.indices >= 0) {
                if (!readIndices(prim.indices, order)) {
                    return;
                }
                for (size_t i = 0; i < order.size(); ++i) {
                    if (order[i] >= p.size()) {
                        error = "glTF mesh " + std::to_string(meshIndex) + " uses vertex " +
                                std::to_string(order[i]) + ", its primitive has " +
                                std::to_string(p.size()) + " vertices";
                        return;
                    }
                }
            } else {
                order.resize(p.size());
                for (size_t i = 0; i < p.size(); ++i) {
                    order[i] = uint32_t(i);
                }
            }
            std::vector<uint32_t> tri;
            if (prim.mode == TINYGLTF_MODE_TRIANGLES) {
                tri.assign(order.begin(), order.begin() + std::ptrdiff_t(order.size() / 3 * 3));
            } else {
                for (size_t i = 2; i < order.size(); ++i) {
                    if (prim.mode == TINYGLTF_MODE_TRIANGLE_FAN) {
                        tri.insert(tri.end(), {order[0], order[i - 1], order[i]});
                    } else if (i % 2 == 0) {
                        tri.insert(tri.end(), {order[i - 2], order[i - 1], order[i]});
                    } else {
                        tri.insert(tri.end(), {order[i - 1], order[i - 2], order[i]});
                    }
                }
            }
            triangles += tri.size() / 3;
            positions += p.size();
            if (triangles > ImportedScene::maxTriangles || positions > ImportedScene::maxPositions) {
                error = "the glTF scene holds more triangles than Kelvane reads (over " +
                        std::to_string(ImportedScene::maxTriangles) + ")";
                return;
            }
            auto slot = byMaterial.find(prim.material);
            if (slot == byMaterial.end()) {
                slot = byMaterial.emplace(prim.material, out.meshes.size()).first;
                out.meshes.emplace_back();
                ImportedMesh& m = out.meshes.back();
                m.colour = materialColour(prim.material, m.colourKnown);
                readMaterial(prim.material, m);
            }
            ImportedMesh& m = out.meshes[slot->second];
            const uint32_t base = uint32_t(m.positions.size());
            // Normals only when every part of the mesh has them.
            const bool withNormals = !n.empty() && (base == 0 || !m.normals.empty());
            if (!withNormals) {
                m.normals.clear();
            }
            // Texture coordinates when any part has them (zero for a part
            // without).
            if (!uv.empty() || !m.uvs.empty()) {
                m.uvs.resize(2 * size_t(base), 0.0f);
                if (uv.empty()) {
                    m.uvs.resize(2 * (size_t(base) + p.size()), 0.0f);
                } else {
                    m.uvs.insert(m.uvs.end(), uv.begin(), uv.end());
                }
            }
            for (size_t i = 0; i < p.size(); ++i) {
                m.positions.push_back(world.point(p[i]));
                if (withNormals) {
                    vec d = normalMatrix.direction(n[i]);
                    const float l = len(d);
                    m.normals.push_back(l > 0.0f && std::isfinite(l) ? d / l : d);
                }
            }
            for (uint32_t i : tri) {
                m.triangles.push_back(base + i);
            }
        }
        // A material group whose primitives gave no triangle is dropped.
        for (size_t i = out.meshes.size(); i-- > 0;) {
            if (out.meshes[i].triangles.empty()) {
                out.meshes.erase(out.meshes.begin() + std::ptrdiff_t(i));
            }
        }
    }
};

bool startsWithGlbMagic(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        return false;
    }
    char magic[4] = {0, 0, 0, 0};
    const size_t got = std::fread(magic, 1, 4, f);
    std::fclose(f);
    return got == 4 && std::memcmp(magic, "glTF", 4) == 0;
}

std::string firstLine(std::string s)
{
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '.')) {
        s.pop_back();
    }
    const size_t nl = s.find('\n');
    return nl == std::string::npos ? s : s.substr(0, nl);
}

} // namespace

namespace {

// Loads with `load` (one of TinyGLTF's entry points) and reads the model
// into `out`.
template <class Load>
void readWith(tinygltf::TinyGLTF& loader, Load load, const std::string& folder, ImportedScene& out)
{
    tinygltf::Model model;
    ImageNotes images;
    images.model = &model;
    images.folder = folder;
    loader.SetImageLoader(keepImage, &images);
    std::string err, warn;
    bool ok = false;
    try {
        ok = load(model, err, warn);
    } catch (const std::exception& e) {
        err = e.what();
    }
    if (!warn.empty()) {
        note("%s", firstLine(warn));
    }
    if (!ok) {
        out.reason = "the glTF file cannot be read: " +
                     (err.empty() ? std::string("it is damaged") : firstLine(err));
        return;
    }
    if (!model.animations.empty()) {
        note("%s", "animations are ignored: the scene is shown as it stands");
    }
    Reader(model, images, out).run();
}

// File access for a document in memory: every file it names is missing.
bool noFileExists(const std::string&, void*) { return false; }
std::string sameFilePath(const std::string& path, void*) { return path; }
bool noFileRead(std::vector<unsigned char>*, std::string* err, const std::string& path, void*)
{
    if (err) {
        *err += "the document names the file \"" + path +
                "\" but was given without the files beside it\n";
    }
    return false;
}
bool noFileWritten(std::string*, const std::string&, const std::vector<unsigned char>&, void*)
{
    return false;
}

} // namespace

void readGltf(const std::string& path, ImportedScene& out)
{
    out = ImportedScene();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        out.reason = std::string("the file cannot be read (") + std::strerror(errno) + ")";
        return;
    }
    std::fclose(f);
    tinygltf::TinyGLTF loader;
    const bool binary = startsWithGlbMagic(path);
    readWith(
        loader,
        [&](tinygltf::Model& model, std::string& err, std::string& warn) {
            return binary ? loader.LoadBinaryFromFile(&model, &err, &warn, path)
                          : loader.LoadASCIIFromFile(&model, &err, &warn, path);
        },
        path.find('/') == std::string::npos ? std::string(".")
        : path.rfind('/') == 0               ? std::string("/")
                                             : path.substr(0, path.rfind('/')),
        out);
}

void readGltfFromMemory(const void* data, size_t size, ImportedScene& out)
{
    out = ImportedScene();
    // TinyGLTF takes the length as 32 bits.
    if (size > 0xFFFFFFFFu) {
        out.reason = "the glTF file cannot be read: it is larger than 4 GB";
        return;
    }
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    tinygltf::TinyGLTF loader;
    tinygltf::FsCallbacks fs = {noFileExists, sameFilePath, noFileRead, noFileWritten, nullptr};
    loader.SetFsCallbacks(fs);
    const bool binary = size >= 4 && std::memcmp(bytes, "glTF", 4) == 0;
    readWith(
        loader,
        [&](tinygltf::Model& model, std::string& err, std::string& warn) {
            return binary ? loader.LoadBinaryFromMemory(&model, &err, &warn, bytes,
                                                        unsigned(size), "")
                          : loader.LoadASCIIFromString(&model, &err, &warn,
                                                       reinterpret_cast<const char*>(bytes),
                                                       unsigned(size), "");
        },
        std::string(), out);
}
