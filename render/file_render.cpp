#include "file_render.h"

#include "cache_camera.h"
#include "log.h"
#include "open_gl_helper.h"
#include "picture_sides.h"
#include "placeholder_images.h"
#include "platform_services.h"
#include "shader_sources.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLShaderProgram>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// A filling model's projected vertices span this share of the picture's side: a margin of 5 %
// on either side keeps the silhouette off the edge whatever the rasteriser rounds.
constexpr float kFilledShare = 0.9f;
// Where the light stands, in the mesh file's own coordinates.
const QVector3D kLightPosition(-500.0f, 0.0f, 700.0f);
// From OpenGL 3.3 a geometry stage computes the facet normals, so the reader stores none.
constexpr qint32 kGeometryShaderVersion = 0x33;

void logError(const QString& message) {
    writeLog(kErrorLabel + message);
}

// The framebuffer holds straight alpha (nothing is blended); Qt tags the read-back as
// premultiplied, which would turn the transparent white background black on saving.
QImage asStraightAlpha(QImage image) {
    switch (image.format()) {
    case QImage::Format_ARGB32_Premultiplied:
        image.reinterpretAsFormat(QImage::Format_ARGB32);
        break;
    case QImage::Format_RGBA8888_Premultiplied:
        image.reinterpretAsFormat(QImage::Format_RGBA8888);
        break;
    default:
        break;
    }
    return image;
}

// Floats uploaded at once: whole triangles (three vertices of a position, and a normal
// without the geometry stage) within `limitBytes`.
std::size_t floatsPerPiece(std::size_t limitBytes, bool hasGeometry) {
    const std::size_t perTriangle = hasGeometry ? 9 : 18;
    return std::max<std::size_t>(1, limitBytes / sizeof(float) / perTriangle) * perTriangle;
}

// The source with COLOURED defined, after its version and extension lines, which come first.
QString colouredVariant(QString code) {
    int at = 0;
    while (code.midRef(at).startsWith(QLatin1String("#version")) ||
           code.midRef(at).startsWith(QLatin1String("#extension"))) {
        at = code.indexOf(QLatin1Char('\n'), at) + 1;
    }
    return code.insert(at, QStringLiteral("#define COLOURED\n"));
}

// The bounds of projected positions in normalised device coordinates.
struct ProjectedBounds {
    float left = std::numeric_limits<float>::max();
    float right = -std::numeric_limits<float>::max();
    float bottom = std::numeric_limits<float>::max();
    float top = -std::numeric_limits<float>::max();

    // Widened by the positions among `count` floats, one vertex every `stride` floats, that
    // `clip` takes into clip space. Every vertex lies in front of the camera: the fitted model
    // stays within a unit of the box's centre, the camera is 2.1 units away.
    void widen(const QMatrix4x4& clip, const float* floats, std::size_t count, std::size_t stride) {
        const float* m = clip.constData(); // column-major
        for (std::size_t i = 0; i + 3 <= count; i += stride) {
            const float x = floats[i], y = floats[i + 1], z = floats[i + 2];
            const float w = m[3] * x + m[7] * y + m[11] * z + m[15];
            const float ndcX = (m[0] * x + m[4] * y + m[8] * z + m[12]) / w;
            const float ndcY = (m[1] * x + m[5] * y + m[9] * z + m[13]) / w;
            // A comparison with NaN is false, so a vertex of NaNs widens nothing.
            left = ndcX < left ? ndcX : left;
            right = ndcX > right ? ndcX : right;
            bottom = ndcY < bottom ? ndcY : bottom;
            top = ndcY > top ? ndcY : top;
        }
    }
};

} // namespace

std::unique_ptr<fileRender> fileRender::forCache(const QString& sourcePath,
                                                 PictureRecorder& recorder) {
    return std::unique_ptr<fileRender>(
        new fileRender(sourcePath, {&recorder, kCacheSide, Framing::CacheCamera, {}}));
}

std::unique_ptr<fileRender> fileRender::forPicture(const QString& sourcePath, int side,
                                                   Framing framing, const DrawLimits& limits) {
    return std::unique_ptr<fileRender>(
        new fileRender(sourcePath, {nullptr, side, framing, limits}));
}

fileRender::fileRender(const QString& sourcePath_, const Mode& mode)
    : kind(meshKindOf(sourcePath_)), sourcePath(sourcePath_), recorder(mode.recorder),
      side(mode.side), framing(mode.framing), limits(mode.limits) {
    start();
}

void fileRender::start() {
    try {
        setUp();
    } catch (...) {
        // Above all an allocation failure while reading a huge mesh.
        glUsable = false;
        if (reader) {
            reader->renderable = false;
        }
    }
}

void fileRender::setUp() {
    keepFreedHeapMemory();
    context = std::make_unique<QOpenGLContext>();
    if (!context->create() || !context->isValid()) {
        writeLog(kInfoLabel + QStringLiteral("opengl version is not valid"));
        glUsable = false;
        return;
    }
    surface = std::make_unique<QOffscreenSurface>();
    surface->create();
    if (!surface->isValid()) {
        writeLog(kInfoLabel + QStringLiteral("opengl surface is not valid"));
        glUsable = false;
        return;
    }
    context->makeCurrent(surface.get());

    probe = openGLHelper::instance();
    probe->init();
    hasGeometry = probe->glVersion >= kGeometryShaderVersion;
    if (probe->bSupport_GL_EXT) {
        writeLog(kInfoLabel + QStringLiteral("bSupport_GL_EXT is true"));
    }
    gl = context->functions();
    if (gl == nullptr) {
        writeLog(kInfoLabel + QStringLiteral("opengl function is null"));
        glUsable = false;
        return;
    }
    gl->initializeOpenGLFunctions();

    // A binary STL streams: a worker converts its facets piece by piece, starting now, while
    // the shaders are built and the pieces before are drawn.
    reader = std::make_unique<mySTLReader>(sourcePath, hasGeometry, true);
    if (!reader->modelValid && recorder != nullptr) {
        makeDamagedFileImage(image);
        saveImage();
    }
}

fileRender::~fileRender() {
    // Everything that lives in the context goes while the context is still current.
    reader.reset();
    program.reset();
    if (context && surface && context->makeCurrent(surface.get())) {
        vao.destroy();
        vbo.destroy();
        colourVbo.destroy();
        context->doneCurrent();
    }
    surface.reset();
    context.reset();
}

bool fileRender::ready() const {
    return reader ? reader->renderable : glUsable;
}

const mySTLReader* fileRender::mesh() const {
    return glUsable ? reader.get() : nullptr;
}

void fileRender::addShader(int stage, const char* source, bool vertexStage, const char* failure) {
    QString code = probe->mapShader(source, vertexStage);
    if (reader->hasColours) {
        code = colouredVariant(code);
    }
    if (!program->addCacheableShaderFromSourceCode(QOpenGLShader::ShaderType(stage), code)) {
        writeLog(QLatin1String(failure) + program->log());
    }
}

void fileRender::initGL() {
    gl->glViewport(0, 0, side, side);
    gl->glClearColor(1.0f, 1.0f, 1.0f, 0.0f);
    program = std::make_unique<QOpenGLShaderProgram>();
    if (hasGeometry) {
        addShader(QOpenGLShader::Vertex, shaders::kGeometryPathVertex, true,
                  "vertex shader error(hasGeometry)    :    ");
        addShader(QOpenGLShader::Geometry, shaders::kGeometry, true,
                  "geometry shader error(hasGeometry)    :    ");
        addShader(QOpenGLShader::Fragment, shaders::kFragment, false,
                  "fragment shader error(hasGeometry)    :    ");
    } else {
        addShader(QOpenGLShader::Vertex, shaders::kPlainVertex, true,
                  "vertex shader error(noHasGeometry)    :    ");
        addShader(QOpenGLShader::Fragment, shaders::kFragment, false,
                  "fragment shader error(noHasGeometry)    :    ");
    }
    program->bindAttributeLocation("vertex", 0);
    if (!hasGeometry) {
        program->bindAttributeLocation("normal", 1);
    }
    if (reader->hasColours) {
        program->bindAttributeLocation("colour", 2);
    }
    if (!program->link()) {
        writeLog(QStringLiteral("QOpenGLShaderProgram link    :   ") + program->log());
    }
    if (!program->bind()) {
        writeLog(QStringLiteral("QOpenGLShaderProgram bind    :   ") + program->log());
    }
    projMatrixLoc = program->uniformLocation("projMatrix");
    mvMatrixLoc = program->uniformLocation("mvMatrix");
    normalMatrixLoc = program->uniformLocation("normalMatrix");
    lightPosLoc = program->uniformLocation("lightPos");
    modelMatrixLoc = program->uniformLocation("modelMatrix");

    vao.create();
    QOpenGLVertexArrayObject::Binder vaoBinder(&vao);
    vbo.create();
    vbo.bind();
    // One buffer object of one size serves every chunk: each is written into it and drawn.
    std::size_t largest = 0;
    for (const VertexChunk& chunk : reader->chunks) {
        largest = std::max(largest, chunk.bytes());
    }
    largest = std::min(largest, floatsPerPiece(limits.uploadBytes, hasGeometry) * sizeof(float));
    if (reader->stream) {
        largest = std::max(largest, reader->stream->pieceBytes());
    }
    vbo.allocate(static_cast<int>(largest));
    if (hasGeometry) {
        gl->glEnableVertexAttribArray(0);
        gl->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, nullptr);
    } else {
        gl->glEnableVertexAttribArray(0);
        gl->glEnableVertexAttribArray(1);
        gl->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 6 * sizeof(GLfloat), nullptr);
        gl->glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, 6 * sizeof(GLfloat),
                                  reinterpret_cast<void*>(3 * sizeof(GLfloat)));
    }
    vbo.release();
    if (reader->hasColours) {
        colourVbo.create();
        colourVbo.bind();
        const std::size_t floatsPerVertex = this->floatsPerVertex();
        colourVbo.allocate(
            static_cast<int>(largest / sizeof(float) / floatsPerVertex * sizeof(MeshColour)));
        gl->glEnableVertexAttribArray(2);
        gl->glVertexAttribPointer(2, 4, GL_UNSIGNED_BYTE, GL_TRUE, 0, nullptr);
        colourVbo.release();
    }
    program->setUniformValue(lightPosLoc, kLightPosition);
    program->release();
}

void fileRender::resizeGL(int width, int height) {
    projection = cacheCamera::projection(kind == MeshSlc, width, height);
}

void fileRender::paintGL() {
    drawPicture();
    if (saveImage()) {
        vbo.destroy();
    }
}

QMatrix4x4 fileRender::fillingCrop(const QMatrix4x4& clip) {
    const std::size_t floatsPerVertex = this->floatsPerVertex();
    ProjectedBounds bounds;
    for (const VertexChunk& chunk : reader->chunks) {
        bounds.widen(clip, chunk.data(), chunk.size(), floatsPerVertex);
    }
    if (reader->stream) {
        while (const VertexChunk* piece = reader->stream->next()) {
            bounds.widen(clip, piece->data(), piece->size(), floatsPerVertex);
        }
        reader->restartStream();
    }
    const float span = std::max(bounds.right - bounds.left, bounds.top - bounds.bottom);
    QMatrix4x4 crop;
    // Nothing to fill with: a model of no extent is drawn as the cache's camera sees it.
    if (!(span > std::numeric_limits<float>::epsilon()) || !std::isfinite(span)) {
        return crop;
    }
    // In clip space a point at w is at w times its device coordinates, so the shift scales
    // with w; depth and w stay as they are.
    const float scale = 2 * kFilledShare / span;
    crop.setRow(0, QVector4D(scale, 0, 0, -scale * (bounds.left + bounds.right) / 2));
    crop.setRow(1, QVector4D(0, scale, 0, -scale * (bounds.bottom + bounds.top) / 2));
    return crop;
}

void fileRender::drawPicture() {
    fbo = std::make_unique<QOpenGLFramebufferObject>(
        side, side, QOpenGLFramebufferObject::CombinedDepthStencil, GL_TEXTURE_2D);
    fbo->bind();
    gl->glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gl->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gl->glEnable(GL_DEPTH_TEST);
    gl->glEnable(GL_CULL_FACE);

    world = cacheCamera::world(kind == MeshSlc);
    QOpenGLVertexArrayObject::Binder vaoBinder(&vao);
    if (!program->bind()) {
        logError(QStringLiteral("OpenGLShaderProgram cannot bind"));
    }
    model = cacheCamera::fitted(*reader);
    view = cacheCamera::view();
    const QMatrix4x4 shown = framing == Framing::FillPicture
                                 ? fillingCrop(projection * view * world * model) * projection
                                 : projection;

    program->setUniformValue(projMatrixLoc, shown);
    program->setUniformValue(mvMatrixLoc, view * world);
    program->setUniformValue(normalMatrixLoc, world.normalMatrix());
    program->setUniformValue(modelMatrixLoc, model);

    const std::size_t floatsPerVertex = this->floatsPerVertex();
    // `colours`, when the model has them, one for each vertex of the floats.
    const auto draw = [&](const float* floats, std::size_t count, const MeshColour* colours) {
        if (colours != nullptr && colourVbo.bind()) {
            colourVbo.write(0, colours,
                            static_cast<int>(count / floatsPerVertex * sizeof(MeshColour)));
            colourVbo.release();
        }
        if (!vbo.bind()) {
            logError(QStringLiteral("vbo cannot bind"));
        }
        vbo.write(0, floats, static_cast<int>(count * sizeof(float)));
        gl->glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(count / floatsPerVertex));
        // A software rasteriser bins triangles until its scene is full, tens of MiB, before
        // drawing any: flushed after each piece its scenes stay small and its threads draw
        // one piece while the next is binned.
        gl->glFlush();
        vbo.release();
    };
    // The facets are counted against the fill budget before they are uploaded, in file order.
    const DrawView& drawView = lastView.emplace(
        shown, view * world, model, side, QVector3D(reader->minX, reader->minY, reader->minZ),
        QVector3D(reader->maxX, reader->maxY, reader->maxZ));
    FillBudget budget(limits.fillBudgetPixels);
    const std::size_t pieceFloats = floatsPerPiece(limits.uploadBytes, hasGeometry);
    const std::size_t floatsPerFacet = 3 * floatsPerVertex;
    for (std::size_t c = 0; c < reader->chunks.size(); ++c) {
        const VertexChunk& chunk = reader->chunks[c];
        const MeshColour* colours = reader->hasColours ? reader->colourChunks[c].data() : nullptr;
        for (std::size_t first = 0; first < chunk.size() && !budget.exhausted();
             first += pieceFloats) {
            const std::size_t facets = std::min(pieceFloats, chunk.size() - first) / floatsPerFacet;
            const std::size_t fit = budget.take(drawView, chunk.data() + first, facets,
                                                static_cast<int>(floatsPerVertex));
            if (fit > 0) {
                draw(chunk.data() + first, fit * floatsPerFacet,
                     colours != nullptr ? colours + first / floatsPerVertex : nullptr);
            }
        }
    }
    bool cut = budget.exhausted();
    if (reader->stream && !cut) {
        reader->stream->drawWith(drawView, budget.left());
        while (const VertexChunk* piece = reader->stream->next()) {
            draw(piece->data(), piece->size(), nullptr);
        }
        cut = reader->stream->cut();
    }
    if (cut) {
        writeLog(kInfoLabel +
                 QStringLiteral("%1\n%2").arg(QStringLiteral("fill budget exceeded"), sourcePath));
    }
    image = asStraightAlpha(fbo->toImage());
    fbo->release();
    fbo.reset();
    program->release();
}

bool fileRender::saveImage() {
    QString where;
    const PictureSave saved = recorder->save(image, where);
    // A host that gave up on a locked folder or a busy database has said so already.
    if (saved == PictureSave::NoBucket || saved == PictureSave::NotWritten) {
        logError(QStringLiteral("%1\n%2").arg(QStringLiteral("render image cannot save"), where));
    }
    return saved == PictureSave::Saved;
}
