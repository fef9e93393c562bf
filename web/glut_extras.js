// glut_extras.js - the freeglut extensions that emscripten 3.1.6's GLUT
// lacks, for lessons that use them (declared in include/GL/freeglut_ext.h).

// emscripten's own glutGet, kept under another name for the one below.
var emscriptenGlutGet = LibraryManager.library.glutGet;

mergeInto(LibraryManager.library, {
  glutSetOption__deps: ['$GLUT'],
  glutSetOption: function(option, value) {
    GLUT.options = GLUT.options || {};
    GLUT.options[option] = value;
  },

  // In a page the main loop never returns to main, so leaving it means
  // stopping: no more callbacks, the last frame stays, and the page says
  // how to start again (Module.onLeave, set by lesson.js).
  glutLeaveMainLoop__deps: ['$GLUT'],
  glutLeaveMainLoop: function() {
    GLUT.displayFunc = GLUT.idleFunc = GLUT.reshapeFunc = 0;
    GLUT.keyboardFunc = GLUT.keyboardUpFunc = GLUT.specialFunc = GLUT.specialUpFunc = 0;
    GLUT.mouseFunc = GLUT.motionFunc = GLUT.passiveMotionFunc = 0;
    if (Module['onLeave']) Module['onLeave']();
  },

  // Whatever desktop version a lesson asks for, the page's context is the
  // one it was linked for: WebGL 2, that is OpenGL ES 3.0.
  glutInitContextVersion__deps: ['$GLUT'],
  glutInitContextVersion: function(major, minor) {
    GLUT.contextVersion = [3, 0];
  },
  glutInitContextProfile: function(profile) {},
  glutInitErrorFunc: function(callback) {},

  velmor_emscriptenGlutGet: emscriptenGlutGet,
  velmor_emscriptenGlutGet__deps: ['$GLUT'],
  glutGet__deps: ['$GLUT', 'velmor_emscriptenGlutGet'],
  glutGet: function(type) {
    var version = GLUT.contextVersion || [1, 0];
    if (type == 0x0200 /* GLUT_INIT_MAJOR_VERSION */) return version[0];
    if (type == 0x0201 /* GLUT_INIT_MINOR_VERSION */) return version[1];
    return _velmor_emscriptenGlutGet(type);
  },
});
