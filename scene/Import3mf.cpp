#include "scene/Import3mf.h"

#include <Model/COM/NMR_DLLInterfaces.h>

#include <cmath>
#include <cstdio>

using namespace NMR;

namespace {

constexpr int maxDepth = 64;
constexpr long long maxVisits = 1ll << 20;

// An affine transform of 3MF: rows of (3 x 3 | translation).
struct Affine {
    double f[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
    static Affine from(const MODELTRANSFORM& t)
    {
        Affine a;
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 4; ++c) {
                a.f[r][c] = t.m_fFields[r][c];
            }
        }
        return a;
    }
    // this after b: x -> this(b(x)).
    Affine operator*(const Affine& b) const
    {
        Affine o;
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 4; ++c) {
                double s = c == 3 ? f[r][3] : 0.0;
                for (int k = 0; k < 3; ++k) {
                    s += f[r][k] * b.f[k][c];
                }
                o.f[r][c] = s;
            }
        }
        return o;
    }
    vec apply(const float p[3]) const
    {
        vec v;
        for (int r = 0; r < 3; ++r) {
            v[r] = float(f[r][0] * p[0] + f[r][1] * p[1] + f[r][2] * p[2] + f[r][3]);
        }
        return v;
    }
};

class Releaser {
public:
    explicit Releaser(PLib3MFBase* p) : p(p) {}
    ~Releaser()
    {
        if (p) {
            lib3mf_release(p);
        }
    }
    Releaser(const Releaser&) = delete;
    Releaser& operator=(const Releaser&) = delete;

private:
    PLib3MFBase* p;
};

struct Walk {
    ImportedScene& out;
    long long visits = 0;
    uint64_t triangles = 0, positions = 0;
    bool cut = false;

    void addMesh(PLib3MFModelMeshObject* mesh, const Affine& place)
    {
        DWORD nv = 0, nt = 0;
        if (lib3mf_meshobject_getvertexcount(mesh, &nv) != LIB3MF_OK ||
            lib3mf_meshobject_gettrianglecount(mesh, &nt) != LIB3MF_OK || nt == 0) {
            return;
        }
        triangles += nt;
        positions += nv;
        if (triangles > ImportedScene::maxTriangles || positions > ImportedScene::maxPositions) {
            cut = true;
            return;
        }
        ImportedMesh m;
        m.positions.reserve(nv);
        for (DWORD i = 0; i < nv; ++i) {
            MODELMESHVERTEX v;
            if (lib3mf_meshobject_getvertex(mesh, i, &v) != LIB3MF_OK) {
                return;
            }
            m.positions.push_back(place.apply(v.m_fPosition));
        }
        std::vector<MODELMESHTRIANGLE> list(nt);
        DWORD got = 0;
        if (lib3mf_meshobject_gettriangleindices(mesh, list.data(), nt, &got) != LIB3MF_OK) {
            return;
        }
        for (DWORD t = 0; t < got && t < nt; ++t) {
            const DWORD* idx = list[t].m_nIndices;
            if (idx[0] < nv && idx[1] < nv && idx[2] < nv) {
                m.triangles.insert(m.triangles.end(), {idx[0], idx[1], idx[2]});
            }
        }
        if (!m.triangles.empty()) {
            out.meshes.push_back(std::move(m));
        }
    }

    void visit(PLib3MFModelObjectResource* object, const Affine& place, int depth)
    {
        if (!object || depth > maxDepth || ++visits > maxVisits) {
            cut = cut || object;
            return;
        }
        BOOL isMesh = false, isComponents = false;
        lib3mf_object_ismeshobject(object, &isMesh);
        lib3mf_object_iscomponentsobject(object, &isComponents);
        if (isMesh) {
            addMesh(object, place);
            return;
        }
        if (!isComponents) {
            return;
        }
        DWORD count = 0;
        lib3mf_componentsobject_getcomponentcount(object, &count);
        for (DWORD i = 0; i < count; ++i) {
            PLib3MFModelComponent* component = nullptr;
            if (lib3mf_componentsobject_getcomponent(object, i, &component) != LIB3MF_OK ||
                !component) {
                continue;
            }
            PLib3MFModelObjectResource* child = nullptr;
            MODELTRANSFORM t;
            BOOL hasTransform = false;
            lib3mf_component_hastransform(component, &hasTransform);
            Affine local;
            if (hasTransform && lib3mf_component_gettransform(component, &t) == LIB3MF_OK) {
                local = Affine::from(t);
            }
            if (lib3mf_component_getobjectresource(component, &child) == LIB3MF_OK && child) {
                visit(child, place * local, depth + 1);
            }
        }
    }
};

std::string lastError(PLib3MFBase* instance)
{
    DWORD code = 0;
    LPCSTR message = nullptr;
    if (instance && lib3mf_getlasterror(instance, &code, &message) == LIB3MF_OK && message &&
        *message) {
        return message;
    }
    return "it is damaged or not a 3MF file";
}

} // namespace

void read3mf(const std::string& path, ImportedScene& out)
{
    out = ImportedScene();
    PLib3MFModel* model = nullptr;
    if (lib3mf_createmodel(&model) != LIB3MF_OK || !model) {
        out.reason = "lib3mf could not start";
        return;
    }
    Releaser releaseModel(model);
    PLib3MFModelReader* reader = nullptr;
    if (lib3mf_model_queryreader(model, "3mf", &reader) != LIB3MF_OK || !reader) {
        out.reason = "lib3mf has no 3MF reader";
        return;
    }
    Releaser releaseReader(reader);
    if (lib3mf_reader_readfromfileutf8(reader, path.c_str()) != LIB3MF_OK) {
        out.reason = "the 3MF file cannot be read: " + lastError(reader);
        return;
    }
    PLib3MFModelBuildItemIterator* items = nullptr;
    if (lib3mf_model_getbuilditems(model, &items) != LIB3MF_OK || !items) {
        out.reason = "the 3MF file has no build";
        return;
    }
    Releaser releaseItems(items);
    Walk walk{out};
    BOOL more = false;
    while (lib3mf_builditemiterator_movenext(items, &more) == LIB3MF_OK && more) {
        PLib3MFModelBuildItem* item = nullptr;
        if (lib3mf_builditemiterator_getcurrent(items, &item) != LIB3MF_OK || !item) {
            continue;
        }
        Releaser releaseItem(item);
        PLib3MFModelObjectResource* object = nullptr;
        if (lib3mf_builditem_getobjectresource(item, &object) != LIB3MF_OK || !object) {
            continue;
        }
        Releaser releaseObject(object);
        Affine place;
        BOOL hasTransform = false;
        MODELTRANSFORM t;
        lib3mf_builditem_hasobjecttransform(item, &hasTransform);
        if (hasTransform && lib3mf_builditem_getobjecttransform(item, &t) == LIB3MF_OK) {
            place = Affine::from(t);
        }
        walk.visit(object, place, 0);
    }
    if (walk.cut) {
        std::fprintf(stderr, "3MF: the build is nested or sized beyond the importer's limits; "
                             "part of it is left out\n");
    }
    if (out.meshes.empty()) {
        out.reason = "the 3MF build holds no triangles";
    }
}
