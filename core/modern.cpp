// modern.cpp - the window, context and shader program of every lesson
// drawn with buffers and shaders.
#include "modern.h"

#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

static constexpr int WINDOW_SIZE = 500;

// The title of the window being opened and the OpenGL version the lesson
// asked for, for the messages below, and whether the display is being
// asked what it does offer.
static const char* lessonTitle = "";
static int neededMajor = 0;
static int neededMinor = 0;
static bool askingWhatIsOffered = false;

// The lesson's reshape, run again for a program that replaces its first.
static void (*lessonReshape)(int width, int height) = nullptr;

// Writes a message to stderr, piece by piece.  fputs and not fprintf: the
// browser's build of a lesson then carries no printf, which would be a
// tenth of its download.
static void tell(std::initializer_list<const char*> pieces)
{
    for (const char* piece : pieces) {
        std::fputs(piece, stderr);
    }
}

// The one sentence for a display that lacks the context the lesson asked
// for; offered says what it has instead, fix what to do.
[[noreturn]] static void refuse(const char* offered,
                                const char* fix = "update the graphics driver, or with Mesa use "
                                                  "its software renderer (LIBGL_ALWAYS_SOFTWARE=1)")
{
    // "major.minor": two ints of at most 11 characters each, a dot and the end.
    char needed[24] = {};
    char* end = std::to_chars(needed, needed + 11, neededMajor).ptr;
    *end = '.';
    std::to_chars(end + 1, end + 12, neededMinor);
    tell({"The lesson \"", lessonTitle, "\" needs OpenGL ", needed,
          " with the core profile, but this display offers ", offered, ": ", fix, ".\n"});
    std::exit(EXIT_FAILURE);
}

static void refuseWithTheOffer()
{
    // Mesa told to offer an older shading language than the lesson's
    // OpenGL comes with (MESA_GLSL_VERSION_OVERRIDE=130: GLSL 1.30) opens
    // no core context, while the context opened to ask reports its own,
    // newer language: so the variable itself says what is missing.
    const char* language = std::getenv("MESA_GLSL_VERSION_OVERRIDE");
    int languageVersion = 0;
    if (language != nullptr &&
        std::from_chars(language, language + std::strlen(language), languageVersion).ptr !=
            language &&
        languageVersion < neededMajor * 100 + neededMinor * 10) {
        char offered[160] = "only the shading language version ";
        std::strncat(offered, language, 64);
        std::strcat(offered, " that MESA_GLSL_VERSION_OVERRIDE sets");
        refuse(offered, "unset MESA_GLSL_VERSION_OVERRIDE");
    }
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (version == nullptr) {
        refuse("an OpenGL that does not say its version");
    }
    char offered[256] = "OpenGL ";
    std::strncat(offered, version, sizeof offered - std::strlen(offered) - 1);
    refuse(offered);
}

// freeglut calls this when it cannot create the context (and then ends
// the program itself, with its own message, unless this does first).
// What the display offers is what a context of no particular version
// reports: the one that lessons 3 to 7 draw with.
static void contextRefused(const char*, va_list)
{
    if (askingWhatIsOffered) {
        refuse("no OpenGL context that freeglut could open");
    }
    askingWhatIsOffered = true;
    glutInitContextVersion(1, 0);
    glutInitContextProfile(0);
    glutCreateWindow(lessonTitle);
    refuseWithTheOffer();
}

void openModernLessonWindow(const char* title, unsigned displayMode, void (*display)(),
                            void (*reshape)(int width, int height))
{
    lessonTitle = title;
    neededMajor = glutGet(GLUT_INIT_MAJOR_VERSION);
    neededMinor = glutGet(GLUT_INIT_MINOR_VERSION);
    glutInitDisplayMode(displayMode);
    glutInitWindowSize(WINDOW_SIZE, WINDOW_SIZE);
    glutInitErrorFunc(contextRefused);
    beginContextCreation();
    glutCreateWindow(title);
    endContextCreation();
    glutInitErrorFunc(nullptr);

    const char* why = "";
    if (!loadGLFunctions(why)) {
        tell({"The lesson \"", title, "\" could not find the OpenGL functions: ", why, ".\n"});
        std::exit(EXIT_FAILURE);
    }
    // A driver may hand out an older context than asked for.
    GLint major = 0;
    GLint minor = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    glGetIntegerv(GL_MINOR_VERSION, &minor);
    if (major < neededMajor || (major == neededMajor && minor < neededMinor)) {
        refuseWithTheOffer();
    }
    glutDisplayFunc(display);
    glutReshapeFunc(reshape);
    lessonReshape = reshape;
}

// Why the last program could not be built, for shaderProgramLog: the
// reason, then the driver's log, as much of it as fits.  An array of its
// own, so that keeping it allocates nothing; a log longer than this is
// one of hundreds of errors, whose first ones are kept.
static constexpr GLsizei LOG_SIZE = 16384;
static char programLog[LOG_SIZE];

// Writes pieces one after another as the reason, and returns where the
// driver's log goes after it and how much room it has.
static char* keepReason(std::initializer_list<const char*> pieces, GLsizei& room)
{
    programLog[0] = '\0';
    for (const char* piece : pieces) {
        std::strncat(programLog, piece, LOG_SIZE - 1 - std::strlen(programLog));
    }
    const GLsizei used = static_cast<GLsizei>(std::strlen(programLog));
    room = LOG_SIZE - used;
    return programLog + used;
}

// Compiles one shader; name says which, for the message.  Returns 0 if it
// does not compile.
static GLuint compileShader(GLenum kind, const char* name, const char* source)
{
    const GLuint shader = glCreateShader(kind);
    const char* const parts[] = {SHADER_PROLOGUE, source};
    glShaderSource(shader, 2, parts, nullptr);
    glCompileShader(shader);
    GLint compiled = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled != GL_TRUE) {
        GLsizei room = 0;
        char* log = keepReason({"its ", name, " shader does not compile:\n"}, room);
        glGetShaderInfoLog(shader, room, nullptr, log);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

GLuint tryShaderProgram(const char* vertexSource, const char* fragmentSource)
{
    const GLuint vertexShader = compileShader(GL_VERTEX_SHADER, "vertex", vertexSource);
    if (vertexShader == 0) {
        return 0;
    }
    const GLuint fragmentShader = compileShader(GL_FRAGMENT_SHADER, "fragment", fragmentSource);
    if (fragmentShader == 0) {
        glDeleteShader(vertexShader);
        return 0;
    }
    const GLuint program = glCreateProgram();
    glAttachShader(program, vertexShader);
    glAttachShader(program, fragmentShader);
    glLinkProgram(program);
    // The program keeps what it needs; the shaders go once it is linked.
    glDeleteShader(vertexShader);
    glDeleteShader(fragmentShader);
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        GLsizei room = 0;
        char* log =
            keepReason({"its vertex and fragment shaders do not link into one program:\n"}, room);
        glGetProgramInfoLog(program, room, nullptr, log);
        glDeleteProgram(program);
        return 0;
    }
    return program;
}

const char* shaderProgramLog()
{
    return programLog;
}

GLuint buildShaderProgram(const char* vertexSource, const char* fragmentSource)
{
    const GLuint program = tryShaderProgram(vertexSource, fragmentSource);
    if (program == 0) {
        tell({"The lesson \"", lessonTitle, "\": ", shaderProgramLog(), "\n"});
        std::exit(EXIT_FAILURE);
    }
    return program;
}

bool replaceShaderProgram(const char* vertexSource, const char* fragmentSource,
                          UseShaderProgram use)
{
    const GLuint built = tryShaderProgram(vertexSource, fragmentSource);
    if (built == 0) {
        return false;
    }
    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    glDeleteProgram(static_cast<GLuint>(current));
    use(built);
    lessonReshape(glutGet(GLUT_WINDOW_WIDTH), glutGet(GLUT_WINDOW_HEIGHT));
    glutPostRedisplay();
    return true;
}
