#include "scene/ImportAssimp.h"

#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int maxDepth = 1024;
constexpr long long maxVisits = 1ll << 20;

std::string lowerExtension(const std::string& path)
{
    const size_t dot = path.rfind('.');
    const size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return std::string();
    }
    std::string e = path.substr(dot + 1);
    std::transform(e.begin(), e.end(), e.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return e;
}

// Formats whose files are +y up by definition.
bool yUpByFormat(const std::string& extension)
{
    static const char* const yUp[] = {"fbx", "lwo", "lws", "lxo", "x3d", "x3db", "x",
                                      "ms3d", "ac", "ac3d", "acc", "ogex", "md2", "md3", "md5mesh"};
    for (const char* e : yUp) {
        if (extension == e) {
            return true;
        }
    }
    return false;
}

// Whether `name` (relative to `folder`) names a file inside that folder,
// links followed.
bool insideFolder(const std::string& name, const std::string& folder)
{
    if (name.empty() || name[0] == '/' || name.find(':') != std::string::npos) {
        return false;
    }
    char* base = realpath(folder.c_str(), nullptr);
    char* full = realpath((folder + "/" + name).c_str(), nullptr);
    const bool inside = base && full && std::strncmp(full, base, std::strlen(base)) == 0 &&
                        full[std::strlen(base)] == '/';
    std::free(base);
    std::free(full);
    return inside;
}

struct Walk {
    const aiScene* scene;
    ImportedScene& out;
    bool yUp;
    std::string folder; // the model file's
    long long visits = 0;
    uint64_t triangles = 0, positions = 0;
    bool cut = false;

    vec colourOf(unsigned materialIndex, bool& known) const
    {
        known = false;
        if (materialIndex >= scene->mNumMaterials || !scene->mMaterials[materialIndex]) {
            return vec(1.0f, 1.0f, 1.0f);
        }
        const aiMaterial* m = scene->mMaterials[materialIndex];
        aiColor4D c;
        if (m->Get(AI_MATKEY_BASE_COLOR, c) != AI_SUCCESS &&
            m->Get(AI_MATKEY_COLOR_DIFFUSE, c) != AI_SUCCESS) {
            return vec(1.0f, 1.0f, 1.0f);
        }
        known = true;
        vec v(c.r, c.g, c.b);
        for (int k = 0; k < 3; ++k) {
            v[k] = std::isfinite(v[k]) ? std::min(1.0f, std::max(0.0f, v[k])) : 1.0f;
        }
        return v;
    }

    // The material's specular colour and shininess, when it gives either,
    // as OBJ's Ks and Ns are read.
    void highlights(unsigned materialIndex, ImportedMaterial& f) const
    {
        if (materialIndex >= scene->mNumMaterials || !scene->mMaterials[materialIndex]) {
            return;
        }
        const aiMaterial* m = scene->mMaterials[materialIndex];
        aiColor4D c;
        float shininess = 0.0f;
        const bool specular = m->Get(AI_MATKEY_COLOR_SPECULAR, c) == AI_SUCCESS;
        const bool shiny = m->Get(AI_MATKEY_SHININESS, shininess) == AI_SUCCESS;
        if (!specular && !shiny) {
            return;
        }
        f.phong = true;
        if (specular) {
            const float s = (c.r + c.g + c.b) / 3.0f;
            f.specular = std::isfinite(s) ? std::min(1.0f, std::max(0.0f, s)) : 0.0f;
        }
        f.shininess = shiny && std::isfinite(shininess) ? shininess : 0.0f;
    }

    // How the diffuse image continues beyond [0, 1].
    static ImageWrap wrapOf(int mode)
    {
        return mode == aiTextureMapMode_Clamp    ? ImageWrap::Clamp
               : mode == aiTextureMapMode_Mirror ? ImageWrap::Mirror
                                                 : ImageWrap::Repeat;
    }

    // The material's diffuse image and the mesh's first texture
    // coordinates, when it has both: the image's bytes from the file
    // (embedded) or from inside the model's folder.
    void diffuseImage(const aiMesh* mesh, ImportedMesh& m) const
    {
        aiString name;
        if (mesh->mMaterialIndex >= scene->mNumMaterials || !mesh->HasTextureCoords(0) ||
            scene->mMaterials[mesh->mMaterialIndex]->GetTexture(aiTextureType_DIFFUSE, 0,
                                                                &name) != AI_SUCCESS ||
            name.length == 0) {
            return;
        }
        std::string file = name.C_Str();
        std::replace(file.begin(), file.end(), '\\', '/');
        m.material.imageName = file;
        const aiMaterial* material = scene->mMaterials[mesh->mMaterialIndex];
        int mode = aiTextureMapMode_Wrap;
        if (material->Get(AI_MATKEY_MAPPINGMODE_U(aiTextureType_DIFFUSE, 0), mode) == AI_SUCCESS) {
            m.material.wrapU = wrapOf(mode);
        }
        mode = aiTextureMapMode_Wrap;
        if (material->Get(AI_MATKEY_MAPPINGMODE_V(aiTextureType_DIFFUSE, 0), mode) == AI_SUCCESS) {
            m.material.wrapV = wrapOf(mode);
        }
        if (const aiTexture* embedded = scene->GetEmbeddedTexture(name.C_Str())) {
            // Only compressed images (PNG, JPEG, ...) are taken as bytes.
            if (embedded->mHeight == 0 && embedded->mWidth <= ImportedScene::maxImageBytes) {
                const char* bytes = reinterpret_cast<const char*>(embedded->pcData);
                m.material.imageBytes.assign(bytes, bytes + embedded->mWidth);
            }
        } else if (!insideFolder(file, folder)) {
            std::fprintf(stderr, "Assimp: the image \"%s\" lies outside the model's folder: it "
                                 "is refused\n",
                         file.c_str());
            m.material.imageName.clear();
            return;
        } else if (std::FILE* f = std::fopen((folder + "/" + file).c_str(), "rb")) {
            std::string bytes;
            char block[65536];
            size_t got;
            while ((got = std::fread(block, 1, sizeof block, f)) > 0 &&
                   bytes.size() <= ImportedScene::maxImageBytes) {
                bytes.append(block, got);
            }
            std::fclose(f);
            if (bytes.size() <= ImportedScene::maxImageBytes) {
                m.material.imageBytes = std::move(bytes);
            }
        }
        m.uvs.reserve(2 * size_t(mesh->mNumVertices));
        for (unsigned i = 0; i < mesh->mNumVertices; ++i) {
            const aiVector3D& t = mesh->mTextureCoords[0][i];
            m.uvs.push_back(std::isfinite(t.x) ? t.x : 0.0f);
            m.uvs.push_back(std::isfinite(t.y) ? t.y : 0.0f);
        }
    }

    void addMesh(const aiMesh* mesh, const aiMatrix4x4& world)
    {
        if (!mesh || !mesh->mVertices || !(mesh->mPrimitiveTypes & aiPrimitiveType_TRIANGLE)) {
            return;
        }
        triangles += mesh->mNumFaces;
        positions += mesh->mNumVertices;
        if (triangles > ImportedScene::maxTriangles || positions > ImportedScene::maxPositions) {
            cut = true;
            return;
        }
        ImportedMesh m;
        aiMatrix3x3 normalMatrix(world);
        normalMatrix.Inverse().Transpose();
        m.positions.reserve(mesh->mNumVertices);
        for (unsigned i = 0; i < mesh->mNumVertices; ++i) {
            const aiVector3D p = world * mesh->mVertices[i];
            const vec v(p.x, p.y, p.z);
            m.positions.push_back(yUp ? yUpToZUp(v) : v);
        }
        if (mesh->mNormals) {
            m.normals.reserve(mesh->mNumVertices);
            for (unsigned i = 0; i < mesh->mNumVertices; ++i) {
                aiVector3D n = normalMatrix * mesh->mNormals[i];
                const float l = n.Length();
                if (l > 0.0f && std::isfinite(l)) {
                    n /= l;
                }
                const vec v(n.x, n.y, n.z);
                m.normals.push_back(yUp ? yUpToZUp(v) : v);
            }
        }
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            const aiFace& face = mesh->mFaces[f];
            if (face.mNumIndices != 3) {
                continue;
            }
            bool inside = true;
            for (int k = 0; k < 3; ++k) {
                inside = inside && face.mIndices[k] < mesh->mNumVertices;
            }
            if (inside) {
                m.triangles.insert(m.triangles.end(),
                                   {face.mIndices[0], face.mIndices[1], face.mIndices[2]});
            }
        }
        if (m.triangles.empty()) {
            return;
        }
        m.colour = colourOf(mesh->mMaterialIndex, m.colourKnown);
        highlights(mesh->mMaterialIndex, m.material);
        diffuseImage(mesh, m);
        out.meshes.push_back(std::move(m));
    }

    void visit(const aiNode* node, const aiMatrix4x4& parent, int depth)
    {
        if (!node || depth > maxDepth || ++visits > maxVisits) {
            cut = cut || node;
            return;
        }
        const aiMatrix4x4 world = parent * node->mTransformation;
        for (unsigned i = 0; i < node->mNumMeshes; ++i) {
            if (node->mMeshes[i] < scene->mNumMeshes) {
                addMesh(scene->mMeshes[node->mMeshes[i]], world);
            }
        }
        for (unsigned i = 0; i < node->mNumChildren; ++i) {
            visit(node->mChildren[i], world, depth + 1);
        }
    }
};

} // namespace

std::vector<std::string> assimpExtensions()
{
    Assimp::Importer importer;
    std::string list; // "*.3ds;*.obj;..."
    importer.GetExtensionList(list);
    std::vector<std::string> out;
    size_t at = 0;
    while (at < list.size()) {
        size_t end = list.find(';', at);
        if (end == std::string::npos) {
            end = list.size();
        }
        std::string e = list.substr(at, end - at);
        if (e.rfind("*.", 0) == 0) {
            e.erase(0, 2);
        }
        std::transform(e.begin(), e.end(), e.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        if (!e.empty()) {
            out.push_back(e);
        }
        at = end + 1;
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

bool assimpTakesExtension(const std::string& extension)
{
    static const std::vector<std::string> known = assimpExtensions();
    std::string e = extension;
    std::transform(e.begin(), e.end(), e.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return std::binary_search(known.begin(), known.end(), e);
}

void readWithAssimp(const std::string& path, ImportedScene& out)
{
    out = ImportedScene();
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(
        path, aiProcess_Triangulate | aiProcess_SortByPType);
    if (!scene) {
        std::string message = importer.GetErrorString();
        while (!message.empty() && (message.back() == '\n' || message.back() == '.' ||
                                    message.back() == ' ')) {
            message.pop_back();
        }
        out.reason = "Assimp cannot read the file: " +
                     (message.empty() ? std::string("it is damaged") : message);
        return;
    }
    const std::string extension = lowerExtension(path);
    bool yUp = yUpByFormat(extension);
    if (scene->mMetaData) {
        int32_t upAxis = 0;
        if (scene->mMetaData->Get("UpAxis", upAxis)) {
            yUp = upAxis == 1;
        }
    }
    const size_t slash = path.rfind('/');
    Walk walk{scene, out, yUp,
              slash == std::string::npos ? std::string(".")
              : slash == 0               ? std::string("/")
                                         : path.substr(0, slash)};
    walk.visit(scene->mRootNode, aiMatrix4x4(), 0);
    if (walk.cut) {
        std::fprintf(stderr, "Assimp: the scene is nested or sized beyond the importer's limits; "
                             "part of it is left out\n");
    }
    if (out.meshes.empty()) {
        out.reason = "the file holds no triangles Kelvane can show";
    }
}
