// Places the picture quad as given (the quad already spans clip space) and
// passes the picture coordinate on.
attribute vec4 Position;
attribute vec2 TexCoordIn;
varying vec2 TexCoordOut;

// Looked up by the view but never given values: the quad needs no transform.
uniform mat4 Projection;
uniform mat4 Modelview;

void main(void) {
    gl_Position = Position;
    TexCoordOut = TexCoordIn;
}
