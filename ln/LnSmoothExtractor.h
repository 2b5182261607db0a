#pragma once
// LnSmoothExtractor: view-dependent feature lines of a smooth mesh
// (suggestive contours, contours, ridges, valleys, isophotes) as polylines.
// Every line is the zero set of a per-vertex field, interpolated linearly
// across triangles and chained from face to face through the across-edge
// table; each point carries a "strength" in [0, 1] (attribute slot of
// "strength") that fades the line where it approaches its threshold.
//
// Preparing the mesh makes sure, in this order, of the triangle strips,
// bounding sphere, vertex normals, principal curvatures, curvature
// derivatives and across-edge table (each toolkit operation writes its
// progress lines only when it computes), and computes the feature size from
// a sample of at most 500 vertices. Creation draws which vertices make that
// sample, from a program-wide random sequence shared by all extractors, and
// registers the "strength" attribute; it prepares the mesh at once, or
// (Preparation::OnDemand) leaves that to the first `prepare` or `extract`,
// so that a mesh nobody draws lines on never pays for its curvatures. Both
// give the same data, the same feature size and the same lines.
//
// A principal curvature smaller than 1e-5 of the other one at a vertex is
// rounding noise and counts as 0 in the radial curvature, so surfaces
// curved one way only (cylinders, cones) give no suggestive contours from
// any viewpoint.
//
// Robustness: a mesh with no faces, a mesh whose face or strip indices leave
// its vertex list, and a viewpoint lying on a vertex give no lines; the
// per-view fields stay finite for any viewpoint. When the mesh changed after
// preparation (subdivision drops the curvature data and the across-edge
// table), `extract` makes sure of them again before reading them; the feature
// size stays the one computed when the mesh was first prepared. Whoever
// changes the mesh of an on-demand extractor calls `prepare` first, so that
// the feature size comes from the mesh as it was created.
//
// Nothing here locks: the owner of the mesh serialises preparation,
// extraction and changes to the mesh (LnSmoothModel does).
//
// Nothing is reported but " OOPS - Created path of length 1\n" on standard
// error, written when one half of a traced line ends with a single point.

#include "ln/LnModel.h"
#include "trimesh/TriMesh.h"

#include <vector>

class LnSmoothExtractor : public LnExtractor {
public:
    enum class Preparation { Now, OnDemand };
    // The mesh is not owned and must outlive the extractor. A null mesh is
    // accepted and gives no lines.
    LnSmoothExtractor(TriMesh* mesh, const vec& viewpoint, const vec& lightDirection,
                      Preparation preparation = Preparation::Now);
    ~LnSmoothExtractor() override = default;
    LnSmoothExtractor(const LnSmoothExtractor&) = delete;
    LnSmoothExtractor& operator=(const LnSmoothExtractor&) = delete;

    // The eye position (same units as the vertices) and the light direction
    // (isophotes are the levels of light direction . normal; its length
    // scales them) used by the next `extract`.
    void setViewpoint(const vec& viewpoint) { view = viewpoint; }
    void setLightDirection(const vec& direction) { light = direction; }
    const vec& getViewpoint() const { return view; }
    const vec& getLightDirection() const { return light; }

    // Settings; each stores its argument for the next `extract`.
    void setContours(bool on) override { contoursOn = on; }
    void setSuggestiveContours(bool on) override { suggestiveOn = on; }
    // Isophotes at light . normal = 0, 1/count, ..., (count - 1)/count; a
    // count below 1 gives none.
    void setIsophotes(bool on, int count) override
    {
        isophotesOn = on;
        isophoteCount = count;
    }
    void setSpareFlag(bool on) override { spareFlag = on; } // read by no extraction
    void setRidges(bool on) override { ridgesOn = on; }
    void setValleys(bool on) override { valleysOn = on; }
    void setDerivativeThreshold(float threshold) override { derivativeThreshold = threshold; }
    void setContourTest(bool on) override { contourTest = on; }
    void setViewOffset(float offset) override { viewOffset = offset; }
    void setRidgeThreshold(float threshold) override { ridgeThreshold = threshold; }

    bool getContours() const { return contoursOn; }
    bool getSuggestiveContours() const { return suggestiveOn; }
    bool getIsophotes() const { return isophotesOn; }
    int getIsophoteCount() const { return isophoteCount; }
    bool getSpareFlag() const { return spareFlag; }
    bool getRidges() const { return ridgesOn; }
    bool getValleys() const { return valleysOn; }
    float getDerivativeThreshold() const { return derivativeThreshold; }
    bool getContourTest() const { return contourTest; }
    float getViewOffset() const { return viewOffset; }
    float getRidgeThreshold() const { return ridgeThreshold; }

    // Prepares the mesh and computes the feature size, unless that was done;
    // later calls return at once.
    void prepare();
    bool isPrepared() const { return prepared; }

    // Appends the enabled kinds of lines to `out`, in this order: suggestive
    // contours (kind 1), contours (0), ridges (3), valleys (4), isophotes (5,
    // level by level). Does not clear `out`. Every point comes with one
    // attribute record whose strength slot lies in [0, 1].
    void extract(LnPathList& out) override;

    // 0.01 over the 10th percentile of sampled |curvature|: a length below
    // which detail counts as noise. Infinite when that percentile is 0 (a flat
    // mesh) or nothing could be sampled (no vertices); every threshold derived
    // from it is then 0. Known once the mesh is prepared (0 before).
    float getFeatureSize() const { return featureSize; }
    // The attribute slot written with each point's strength (-1 if the
    // attribute registry was full, in which case records stay all zero).
    int getStrengthSlot() const { return strengthSlot; }

    // Per-vertex fields of the last `extract` (finite for every viewpoint).
    // The test numerator and denominator are refreshed only while suggestive
    // contours are on.
    const std::vector<float>& getNdotV() const { return ndotv; }
    const std::vector<float>& getRadialCurvature() const { return kr; }
    const std::vector<float>& getTestNumerator() const { return testNumerator; }
    const std::vector<float>& getTestDenominator() const { return testDenominator; }

private:
    // A point where a field crosses zero on an edge, with its test values
    // interpolated there (for ridges: t1 is the major curvature).
    struct Crossing {
        vec point;
        float t1 = 0.0f;
        float t2 = 0.0f;
    };
    // The fields of one zero-crossing pass.
    struct ZeroPass {
        const float* f;
        const float* t1; // null when the pass has no test field
        const float* t2; // null when there is at most one test field
        bool backFaceTest;
        bool signTest;
        float fade; // x in t1 / (t1 + t2 x)
        int kind;
    };

    bool prepareMesh();
    bool indicesValid() const;
    bool derivedDataValid() const;
    void drawFeatureSamples(size_t vertexCount);
    void computeFeatureSize();
    bool computeViewFields(); // false when the viewpoint lies on a vertex

    bool carriesZeroLine(int face, const ZeroPass& pass) const;
    void zeroCrossingPass(const ZeroPass& pass, LnPathList& out);
    void traceZero(int face, int cp, int cq, const ZeroPass& pass, LnPath& path);
    Crossing zeroCrossing(int p, int q, const ZeroPass& pass) const;
    bool addZeroSegment(LnPath& path, const Crossing& in, const Crossing& out, const ZeroPass& pass,
                        bool walkContinues);

    bool carriesRidge(int face, float sigma, bool crossed[3]) const;
    void ridgePass(float sigma, int kind, LnPathList& out);
    void traceRidge(int face, int cp, int cq, float sigma, const bool firstCrossed[3],
                    LnPath& path);
    Crossing ridgeCrossing(int j, int k) const;
    bool addRidgeSegment(LnPath& path, const Crossing& in, const Crossing& out, bool walkContinues);

    void addPoint(LnPath& path, const vec& point, float strength);
    void appendHalves(LnPathList& out, bool withSecond);
    bool startPass(); // picks the mark value of this pass
    bool visited(int face) const { return visitedMarks[face] == markValue; }
    void markVisited(int face) { visitedMarks[face] = markValue; }

    TriMesh* mesh;
    vec view;
    vec light;
    float derivativeThreshold = 0.01f;
    float ridgeThreshold = 0.1f;
    bool suggestiveSignTest = true;
    bool contourTest = true;
    bool ridgeBackFaceTest = true;
    float viewOffset = -0.01f;
    LnPath firstHalf;
    LnPath secondHalf;
    float featureSize = 0.0f;
    bool suggestiveOn = true;
    bool contoursOn = true;
    bool isophotesOn = false;
    int isophoteCount = 8;
    bool ridgesOn = false;
    bool valleysOn = false;
    bool spareFlag = false;
    std::vector<float> isophoteValues;
    std::vector<float> ndotv;
    std::vector<float> kr;
    std::vector<float> testNumerator;
    std::vector<float> testDenominator;
    std::vector<bool> visitedMarks; // one bit per face
    bool markValue = false;
    int strengthSlot = -1;
    bool usable = false; // indices valid and derived data in place
    bool prepared = false;
    std::vector<size_t> featureSamples; // vertices the feature size is sampled at
};
