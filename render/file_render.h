#pragma once

#include "binary_facets.h"
#include "my_stl_reader.h"

#include <QImage>
#include <QMatrix4x4>
#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QOpenGLVertexArrayObject>
#include <QString>

#include <memory>

class QOffscreenSurface;
class QOpenGLContext;
class QOpenGLFramebufferObject;
class QOpenGLShaderProgram;
class openGLHelper;

// Draws one mesh file offscreen into a 400 x 400 picture, saves it in the cache and records
// it. The constructor sets up OpenGL and reads the mesh (saving the damaged-file placeholder
// for a model that cannot be drawn); a ready renderer is then driven through initGL, resizeGL
// and paintGL on the same thread. Two renderers must never run at once (see rendererMutex).
//
// How a picture frames the model. Both look from the same place in the same direction under
// the same light; only how much of that view the picture shows differs.
enum class Framing {
    // The cache's camera, 2.1 units from the centre of the model's box: the COM path's pictures.
    CacheCamera,
    // That camera's view cropped to the model: the bounds of its projected vertices, centred,
    // span a fixed share of the picture's side, so every model fills the picture alike.
    FillPicture,
};

// Built with a side instead of a folder, it only draws: a picture of that side, the model
// filling it, nothing saved or recorded (drawPicture instead of paintGL).
class fileRender {
public:
    fileRender(const QString& sourcePath, const QString& imageDir);
    fileRender(const QString& sourcePath, int side);
    ~fileRender();

    // The reader's renderable flag, or glUsable when OpenGL failed before there was a reader.
    bool ready() const;

    void initGL();
    void resizeGL(int width, int height);
    void paintGL();
    // Draws the chunks into a side x side framebuffer and reads it back into `image`.
    void drawPicture();

    // Saves `image` and writes its row in one step; true when both were done.
    bool saveImage();

    qint32 kind;
    QString imagePath;
    QString sourcePath;
    std::unique_ptr<mySTLReader> reader;
    std::unique_ptr<QOpenGLShaderProgram> program;
    QOpenGLVertexArrayObject vao;
    QOpenGLBuffer vbo{QOpenGLBuffer::VertexBuffer};
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
    QImage image;
    bool glUsable = true;
    int side = 400;
    // Drawing only: nothing saved.
    bool pictureOnly = false;
    Framing framing = Framing::CacheCamera;
    // The most bytes uploaded into the vertex buffer at once; a larger chunk is drawn in
    // pieces of whole triangles. A streamed piece's size: small pieces keep the buffer and
    // the rasteriser's scenes small (see drawPicture).
    std::size_t uploadLimitBytes = kStreamPieceFacets * floatsPerFacet(false) * sizeof(float);
    // The most pixels of front faces a picture fills; the facets after the first that would
    // pass it are not drawn (logged), and the picture keeps those before it.
    double fillBudgetPixels = kFillBudgetPixels;

private:
    // setUp, with every exception turned into an unusable renderer.
    void start();
    void setUp();
    // The change of clip space that makes the model's vertices, which `clip` takes from the
    // model into clip space, fill the picture as Framing::FillPicture says. Reads a streamed
    // model's facets once and starts its stream again for drawing.
    QMatrix4x4 fillingCrop(const QMatrix4x4& clip);
    void addShader(int stage, const char* source, bool vertexStage, const char* failure);
};
