#pragma once

#include "binary_facets.h"
#include "draw_view.h"
#include "my_stl_reader.h"
#include "picture_recorder.h"

#include <QImage>
#include <QMatrix4x4>
#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QOpenGLVertexArrayObject>
#include <QString>

#include <cstddef>
#include <memory>
#include <optional>

class QOffscreenSurface;
class QOpenGLContext;
class QOpenGLFramebufferObject;
class QOpenGLShaderProgram;
class openGLHelper;

// How a picture frames the model. Both look from the same place in the same direction under
// the same light; only how much of that view the picture shows differs.
enum class Framing {
    // The cache's camera, 2.1 units from the centre of the model's box: the COM path's pictures.
    CacheCamera,
    // That camera's view cropped to the model: the bounds of its projected vertices, centred,
    // span a fixed share of the picture's side, so every model fills the picture alike.
    FillPicture,
};

// What one drawing may ask of OpenGL.
struct DrawLimits {
    // The most bytes uploaded into the vertex buffer at once; a larger chunk is drawn in
    // pieces of whole triangles. A streamed piece's size: small pieces keep the buffer and
    // the rasteriser's scenes small (see drawPicture).
    std::size_t uploadBytes = kStreamPieceFacets * floatsPerFacet(false) * sizeof(float);
    // The most pixels of front faces a picture fills; the facets after the first that would
    // pass it are not drawn (logged), and the picture keeps those before it.
    double fillBudgetPixels = kFillBudgetPixels;
};

// Draws one mesh file offscreen. Made for the cache, it draws a 400 x 400 picture at the
// cache's camera and hands it to the cache's recorder; made for a picture, it only draws one
// of the side asked for, nothing recorded. Making one sets up OpenGL and reads the mesh
// (for the cache, recording the damaged-file placeholder for a model that cannot be drawn); a
// ready renderer is then driven through initGL, resizeGL and paintGL (drawPicture for a
// picture) on the same thread. Two renderers must never run at once (see rendererMutex).
class fileRender {
public:
    static std::unique_ptr<fileRender> forCache(const QString& sourcePath,
                                                PictureRecorder& recorder);
    static std::unique_ptr<fileRender> forPicture(const QString& sourcePath, int side,
                                                  Framing framing = Framing::FillPicture,
                                                  const DrawLimits& limits = {});
    ~fileRender();

    // The reader's renderable flag; false when OpenGL failed before there was a reader.
    bool ready() const;
    // The mesh as read; null when OpenGL failed, before the read or during it.
    const mySTLReader* mesh() const;

    void initGL();
    void resizeGL(int width, int height);
    // Draws the picture, then hands it to the cache's recorder.
    void paintGL();
    // Draws the chunks into a side x side framebuffer and reads it back into picture().
    void drawPicture();

    // The last picture drawn, or the placeholder saved for a model that cannot be drawn.
    const QImage& picture() const { return image; }
    // Where the last drawing put the model's facets, as the fill budget counted them; empty
    // before the first drawing.
    const std::optional<DrawView>& drawnView() const { return lastView; }

private:
    // Where the picture goes and how it is drawn.
    struct Mode {
        // Null: the picture is only drawn.
        PictureRecorder* recorder;
        int side;
        Framing framing;
        DrawLimits limits;
    };

    fileRender(const QString& sourcePath, const Mode& mode);

    // setUp, with every exception turned into an unusable renderer.
    void start();
    void setUp();
    // The change of clip space that makes the model's vertices, which `clip` takes from the
    // model into clip space, fill the picture as Framing::FillPicture says. Reads a streamed
    // model's facets once and starts its stream again for drawing.
    QMatrix4x4 fillingCrop(const QMatrix4x4& clip);
    void addShader(int stage, const char* source, bool vertexStage, const char* failure);
    // Hands `image` to the recorder; true when it was saved and its row written.
    bool saveImage();

    qint32 kind;
    QString sourcePath;
    PictureRecorder* const recorder;
    std::unique_ptr<mySTLReader> reader;
    std::unique_ptr<QOpenGLShaderProgram> program;
    QOpenGLVertexArrayObject vao;
    QOpenGLBuffer vbo{QOpenGLBuffer::VertexBuffer};
    // The corners' colours of a model that has them, piece by piece as `vbo`.
    QOpenGLBuffer colourVbo{QOpenGLBuffer::VertexBuffer};
    QMatrix4x4 projection;
    QMatrix4x4 world;
    QMatrix4x4 view;
    QMatrix4x4 model;
    int projMatrixLoc = -1;
    int mvMatrixLoc = -1;
    int normalMatrixLoc = -1;
    int lightPosLoc = -1;
    int modelMatrixLoc = -1;
    QOpenGLFunctions* gl = nullptr;
    std::unique_ptr<QOpenGLContext> context;
    std::unique_ptr<QOffscreenSurface> surface;
    std::unique_ptr<QOpenGLFramebufferObject> fbo;
    openGLHelper* probe = nullptr;
    bool hasGeometry = false;
    // Floats stored per vertex: a position, and a normal without the geometry stage.
    std::size_t floatsPerVertex() const { return hasGeometry ? 3 : 6; }
    QImage image;
    std::optional<DrawView> lastView;
    bool glUsable = true;
    const int side;
    const Framing framing;
    const DrawLimits limits;
};
