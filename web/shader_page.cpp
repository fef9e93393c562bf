// shader_page.cpp - what the shader editor beside lessons 8 and 9 calls
// while the lesson runs (web/editor/shaders.js): the lesson's own shaders,
// for the editor to start from, and new ones built and drawn with, or the
// reason they cannot be.
#include "modern.h"

#include <cstring>
#include <vector>

static const char* lessonVertexShader = "";
static const char* lessonFragmentShader = "";
static UseShaderProgram useProgram = nullptr;
static const char* pageLog = "";

void acceptNewShaders(const char* vertexSource, const char* fragmentSource, UseShaderProgram use)
{
    lessonVertexShader = vertexSource;
    lessonFragmentShader = fragmentSource;
    useProgram = use;
}

// The lesson's own vertex (0) or fragment (1) shader, as its source has it.
extern "C" const char* lessonShader(int which)
{
    return which == 0 ? lessonVertexShader : lessonFragmentShader;
}

// Returns 1 once the lesson draws with the two shaders, 0 when it cannot,
// the last program drawing on; shaderLog says why.  Each text comes with
// its count of bytes: a NUL typed into one is refused as the byte it is
// rather than cutting the shader short unseen.
extern "C" int useShaders(const char* vertex, int vertexBytes, const char* fragment,
                          int fragmentBytes)
{
    if (useProgram == nullptr) {
        pageLog = "The lesson is not ready for new shaders yet; wait for its picture.";
        return 0;
    }
    const std::size_t vertexSize = static_cast<std::size_t>(vertexBytes);
    const std::size_t fragmentSize = static_cast<std::size_t>(fragmentBytes);
    if (std::memchr(vertex, '\0', vertexSize) != nullptr ||
        std::memchr(fragment, '\0', fragmentSize) != nullptr) {
        pageLog = "A shader holds a NUL character, which no shader may: delete it.";
        return 0;
    }
    // Each text with the end the driver reads it to.
    std::vector<char> vertexText(vertex, vertex + vertexSize);
    std::vector<char> fragmentText(fragment, fragment + fragmentSize);
    vertexText.push_back('\0');
    fragmentText.push_back('\0');
    if (replaceShaderProgram(vertexText.data(), fragmentText.data(), useProgram)) {
        pageLog = "";
        return 1;
    }
    pageLog = shaderProgramLog();
    return 0;
}

extern "C" const char* shaderLog()
{
    return pageLog;
}
