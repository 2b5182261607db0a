#include "ln/LnBoxyModel.h"
#include "tests/support/StderrCapture.h"
#include "trimesh/TriMesh.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QTemporaryDir>
#include <QtTest>

#include <GL/gl.h>

#include <memory>

namespace {

LnFace face(uint32_t a, uint32_t b, uint32_t c, uint32_t n = 0)
{
    LnFace f;
    f.a = a;
    f.b = b;
    f.c = c;
    f.na = f.nb = f.nc = n;
    return f;
}

// The eight corners of the unit cube and its twelve outward-facing triangles.
LnBoxyMesh* makeCube()
{
    LnBoxyMesh* m = new LnBoxyMesh;
    for (int i = 0; i < 8; ++i) {
        m->vertices.push_back(vec(float(i & 1), float(i >> 1 & 1), float(i >> 2 & 1)));
    }
    const int quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                             {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto& q : quads) {
        m->faces.push_back(face(q[0], q[1], q[2]));
        m->faces.push_back(face(q[0], q[2], q[3]));
    }
    return m;
}

} // namespace

class TestLnBoxyMesh : public QObject {
    Q_OBJECT
    QOffscreenSurface surface;
    QOpenGLContext context;

private slots:
    void initTestCase()
    {
        surface.create();
        QVERIFY(context.create());
        QVERIFY(context.makeCurrent(&surface));
    }

    void faceNormals()
    {
        LnBoxyMesh m;
        m.vertices = {vec(0, 0, 0), vec(2, 0, 0), vec(0, 2, 0), vec(1, 0, 0)};
        m.faces = {face(0, 1, 2), face(0, 1, 3)}; // the second has zero area
        QCOMPARE(m.faceNormal(0), vec(0, 0, 1));
        QCOMPARE(m.faceNormal(1), vec(1, 0, 0));

        // Without normals every corner gets the face normal, flat or not.
        vec a, b, c;
        m.getFaceNormals(0, a, b, c);
        QCOMPARE(a, vec(0, 0, 1));
        QCOMPARE(c, vec(0, 0, 1));
        m.shadedNormals(1, a, b, c);
        QCOMPARE(b, vec(1, 0, 0));
        m.getFaceVertices(0, a, b, c);
        QCOMPARE(b, vec(2, 0, 0));
    }

    void cornerNormalsFollowFlatShading()
    {
        LnBoxyMesh m;
        m.hasNormals = true;
        m.vertices = {vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0)};
        m.normals = {vec(0, 1, 0), vec(0, 0, 1)};
        LnFace f = face(0, 1, 2);
        f.nb = 1;
        m.faces = {f};
        vec a, b, c;
        m.shadedNormals(0, a, b, c);
        QCOMPARE(a, vec(0, 1, 0));
        QCOMPARE(b, vec(0, 0, 1));

        m.setFlat(true);
        QVERIFY(m.isFlat());
        m.shadedNormals(0, a, b, c);
        QCOMPARE(a, vec(0, 0, 1));
        QCOMPARE(b, vec(0, 0, 1));
        // The writer still gets the corner normals.
        m.getFaceNormals(0, a, b, c);
        QCOMPARE(a, vec(0, 1, 0));

        m.setFlat(false);
        m.shadedNormals(0, a, b, c);
        QCOMPARE(a, vec(0, 1, 0));
    }

    void displayListsAreBuiltAndReplaced()
    {
        LnBoxyModel model(makeCube());
        LnBoxyMesh* m = model.boxyMesh();
        const int geometry = m->geometryListName();
        const int shaded = m->shadedListName();
        QVERIFY(geometry > 0 && shaded > 0 && geometry != shaded);
        QVERIFY(glIsList(GLuint(geometry)));
        QVERIFY(glIsList(GLuint(shaded)));

        // Rebuilding replaces both lists: the old ones are deleted (their
        // names may come back), so the number of lists stays the same.
        auto liveLists = []() {
            int n = 0;
            for (GLuint name = 1; name < 4096; ++name) {
                n += glIsList(name) ? 1 : 0;
            }
            return n;
        };
        const int before = liveLists();
        for (int i = 0; i < 5; ++i) {
            m->setFlat(i % 2 == 0);
        }
        QCOMPARE(liveLists(), before);
        QVERIFY(glIsList(GLuint(m->geometryListName())));
        QVERIFY(glIsList(GLuint(m->shadedListName())));
        QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));

        // The model's constructor took the sphere from the vertices' box.
        vec center;
        float radius;
        model.getBoundingSphere(center, radius);
        QCOMPARE(center, vec(0.5f, 0.5f, 0.5f));
        QCOMPARE(radius, len(vec(0.5f, 0.5f, 0.5f)));
    }

    void destructorDeletesTheLists()
    {
        LnBoxyModel* model = new LnBoxyModel(makeCube());
        const GLuint geometry = GLuint(model->boxyMesh()->geometryListName());
        const GLuint shaded = GLuint(model->boxyMesh()->shadedListName());
        delete model;
        QVERIFY(!glIsList(geometry));
        QVERIFY(!glIsList(shaded));
    }

    void emptyMeshBuildsEmptyLists()
    {
        LnBoxyMesh m;
        m.makeDisplayLists();
        QVERIFY(m.geometryListName() > 0);
        m.drawGeometry();
        m.drawShaded();
        QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
    }

    void outOfRangeFacesAreLeftOut()
    {
        LnBoxyMesh m;
        m.vertices = {vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0)};
        m.faces = {face(0, 1, 7)};
        QVERIFY(!m.faceValid(0));
        vec a, b, c;
        m.getFaceVertices(0, a, b, c);
        QCOMPARE(c, vec());
        m.makeDisplayLists();
        m.computeConnectivity();
        QCOMPARE(m.acrossEdge[0], -1);
    }

    void connectivityOfAClosedCube()
    {
        LnBoxyModel model(makeCube());
        LnBoxyMesh* m = model.boxyMesh();
        m->computeConnectivity();
        QCOMPARE(int(m->neighbors.size()), 8);
        QCOMPARE(int(m->vertexFaces.size()), 8);
        for (int f = 0; f < m->getNumFaces(); ++f) {
            for (int j = 0; j < 3; ++j) {
                const int other = m->acrossEdge[3 * f + j];
                QVERIFY(other >= 0);
                QVERIFY(other != f);
            }
        }
        // Corner 0 touches the faces of three quads, and three neighbours
        // along edges plus three along the quads' diagonals.
        QCOMPARE(int(m->vertexFaces[0].size()), 6);
        QCOMPARE(int(m->neighbors[0].size()), 6);
    }

    void writesAMeshFile()
    {
        LnBoxyModel model(makeCube());
        QTemporaryDir dir;
        const QByteArray path = dir.filePath("cube.off").toLocal8Bit();
        StderrCapture err;
        QVERIFY(model.getMesh()->write(path.constData()));
        QVERIFY(!model.getMesh()->write(dir.filePath("no/dir/cube.off").toLocal8Bit().constData()));
        std::unique_ptr<TriMesh> back(TriMesh::read(path.constData()));
        err.text();
        QVERIFY(back);
        QCOMPARE(int(back->vertices.size()), 8);
        QCOMPARE(int(back->faces.size()), 12);
        QCOMPARE(back->vertices[7], vec(1, 1, 1));
        QCOMPARE(back->faces[1][2], 1);
    }

    void connectivityOfTwoTriangles()
    {
        LnBoxyMesh m;
        m.vertices = {vec(0, 0, 0), vec(1, 0, 0), vec(1, 1, 0), vec(0, 1, 0)};
        m.faces = {face(0, 1, 2), face(0, 2, 3)};
        m.computeConnectivity();
        // Face 0's edge opposite corner 1 (2 -> 0) is shared with face 1,
        // whose edge opposite its corner 2 (0 -> 2) runs the other way.
        QCOMPARE(m.acrossEdge, std::vector<int>({-1, 1, -1, -1, -1, 0}));
        QCOMPARE(m.neighbors[0], std::vector<int>({1, 2, 3}));
        QCOMPARE(m.vertexFaces[2], std::vector<int>({0, 1}));

        // Same-direction edges are not linked.
        m.faces = {face(0, 1, 2), face(2, 0, 3)};
        m.computeConnectivity();
        QCOMPARE(m.acrossEdge, std::vector<int>(6, -1));
    }

    void bundledSampleLoads()
    {
        const QString path = QFINDTESTDATA("../../samples/boxes.npr");
        QVERIFY(!path.isEmpty());
        std::string error;
        LnBoxyModel* model = LnBoxyModel::readNprFile(path.toLocal8Bit().constData(), &error);
        QVERIFY2(model, error.c_str());
        QCOMPARE(model->getMesh()->getNumFaces(), 4 * 12);
        QCOMPARE(model->getLines().size(), 4); // the fifth line is hidden
        QVERIFY(model->getExtractor() == nullptr);
        QVERIFY(&model->extractLines(vec(), vec()) == &model->getLines());
        delete model;
    }
};

QTEST_MAIN(TestLnBoxyMesh)
#include "tst_LnBoxyMesh.moc"
