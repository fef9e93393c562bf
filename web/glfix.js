// glfix.js - the emulation's own gl* functions under other names, for
// glfix.cpp, which takes their names to repair them.
mergeInto(LibraryManager.library, {
  emulation_glBegin__deps: ['glBegin'],
  emulation_glBegin: function(mode) { _glBegin(mode); },
  emulation_glEnd__deps: ['glEnd'],
  emulation_glEnd: function() { _glEnd(); },
  emulation_glVertex3f__deps: ['glVertex3f'],
  emulation_glVertex3f: function(x, y, z) { _glVertex3f(x, y, z); },
  emulation_glNormal3f__deps: ['glNormal3f'],
  emulation_glNormal3f: function(x, y, z) { _glNormal3f(x, y, z); },
  emulation_glColor4f__deps: ['glColor4f'],
  emulation_glColor4f: function(r, g, b, a) { _glColor4f(r, g, b, a); },
  emulation_glEnable__deps: ['glEnable'],
  emulation_glEnable: function(cap) { _glEnable(cap); },
  emulation_glDisable__deps: ['glDisable'],
  emulation_glDisable: function(cap) { _glDisable(cap); },
  emulation_gluLookAt__deps: ['gluLookAt'],
  emulation_gluLookAt: function(ex, ey, ez, cx, cy, cz, ux, uy, uz) {
    _gluLookAt(ex, ey, ez, cx, cy, cz, ux, uy, uz);
  },
});
