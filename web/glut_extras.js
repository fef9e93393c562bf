// glut_extras.js - the freeglut extensions that emscripten 3.1.6's GLUT
// lacks, for lessons that use them (declared in include/GL/freeglut_ext.h).
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
});
