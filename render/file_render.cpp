#include "file_render.h"

#include "log.h"
#include "open_gl_helper.h"
#include "picture_store.h"
#include "placeholder_images.h"
#include "shader_sources.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLShaderProgram>

#include <algorithm>

namespace {

constexpr int kSide = 400;
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

} // namespace

fileRender::fileRender(const QString& sourcePath_, const QString& imageDir)
    : kind(meshKindOf(sourcePath_)), imagePath(imageDir), sourcePath(sourcePath_) {
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
    initializeOpenGLFunctions();

    reader = std::make_unique<mySTLReader>(sourcePath, hasGeometry);
    if (!reader->modelValid) {
        makeDamagedFileImage(image);
        const PictureStoreLock lock(imagePath);
        if (saveImage()) {
            recordThumbnail();
        } else {
            logError(QStringLiteral("%1\n%2").arg(QStringLiteral("render image cannot save"),
                                                  imagePath));
        }
    }
}

fileRender::~fileRender() {
    // Everything that lives in the context goes while the context is still current.
    reader.reset();
    program.reset();
    if (context && surface && context->makeCurrent(surface.get())) {
        vao.destroy();
        vbo.destroy();
        context->doneCurrent();
    }
    surface.reset();
    context.reset();
}

bool fileRender::ready() const {
    return reader ? reader->renderable : glUsable;
}

void fileRender::addShader(int stage, const char* source, bool vertexStage, const char* failure) {
    const QString code = probe->mapShader(source, vertexStage);
    if (!program->addCacheableShaderFromSourceCode(QOpenGLShader::ShaderType(stage), code)) {
        writeLog(QLatin1String(failure) + program->log());
    }
}

void fileRender::initGL() {
    gl->glViewport(0, 0, kSide, kSide);
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
    program->setUniformValue(lightPosLoc, kLightPosition);
    program->release();
}

void fileRender::resizeGL(int width, int height) {
    projection.setToIdentity();
    if (kind == MeshSlc) {
        // Slices are shown flat on, one model unit to 200 pixels.
        projection.ortho(-width / 2.0f, width / 2.0f, -height / 2.0f, height / 2.0f, -100.0f,
                         1000.0f);
        projection.scale(200.0f);
    } else {
        projection.perspective(45.0f, GLfloat(width) / height, 0.01f, 2000.0f);
    }
}

void fileRender::paintGL() {
    fbo = new QOpenGLFramebufferObject(kSide, kSide, QOpenGLFramebufferObject::CombinedDepthStencil,
                                       GL_TEXTURE_2D);
    fbo->bind();
    gl->glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gl->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gl->glEnable(GL_DEPTH_TEST);
    gl->glEnable(GL_CULL_FACE);

    world.setToIdentity();
    if (kind == MeshSlc) {
        world.rotate(-90.0f, 1, 0, 0);
    } else {
        world.rotate(-60.0f, 1, 0, 0);
        world.rotate(41.5f, 0, 0, 1);
    }
    QOpenGLVertexArrayObject::Binder vaoBinder(&vao);
    if (!program->bind()) {
        logError(QStringLiteral("OpenGLShaderProgram cannot bind"));
    }
    // The box centre to the origin, the largest extent to 1.
    model.setToIdentity();
    model.scale(static_cast<float>(1.0 / double(reader->maxExtent)));
    model.translate(-(reader->maxX + reader->minX) / 2, -(reader->maxY + reader->minY) / 2,
                    -(reader->maxZ + reader->minZ) / 2);
    cameraDistance = -2.1f;
    view.setToIdentity();
    view.translate(0, 0, cameraDistance);

    program->setUniformValue(projMatrixLoc, projection);
    program->setUniformValue(mvMatrixLoc, view * world);
    program->setUniformValue(normalMatrixLoc, world.normalMatrix());
    program->setUniformValue(modelMatrixLoc, model);

    const int floatsPerVertex = hasGeometry ? 3 : 6;
    for (const VertexChunk& chunk : reader->chunks) {
        if (!vbo.bind()) {
            logError(QStringLiteral("vbo cannot bind"));
        }
        vbo.write(0, chunk.data(), static_cast<int>(chunk.bytes()));
        gl->glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(chunk.size() / floatsPerVertex));
        vbo.release();
    }
    image = asStraightAlpha(fbo->toImage());

    const PictureStoreLock lock(imagePath);
    const bool saved = saveImage();
    fbo->release();
    delete fbo;
    fbo = nullptr;
    if (saved) {
        recordThumbnail();
        vbo.destroy();
    } else {
        logError(
            QStringLiteral("%1\n%2").arg(QStringLiteral("render image cannot save"), imagePath));
    }
    program->release();
}

bool fileRender::saveImage() {
    const QString picture = choosePicturePath(imagePath, sourcePath);
    if (picture.isEmpty()) {
        return false;
    }
    imagePath = picture;
    return savePicture(image, imagePath);
}

void fileRender::recordThumbnail() {
    recordPicture(imagePath, sourcePath, OnLookupFailure::Skip);
}
