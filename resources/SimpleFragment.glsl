// Planar YUV 4:2:0 to RGB: ITU-R BT.601 studio range (Y 16..235, U and V
// centred on 128), the same factors as the RGB picture conversion.
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif

varying vec2 TexCoordOut;
uniform sampler2D samplerY;
uniform sampler2D samplerU;
uniform sampler2D samplerV;

void main(void) {
    float y = 1.164 * (texture2D(samplerY, TexCoordOut).r * 255.0 - 16.0);
    float u = texture2D(samplerU, TexCoordOut).r * 255.0 - 128.0;
    float v = texture2D(samplerV, TexCoordOut).r * 255.0 - 128.0;
    vec3 rgb = vec3(y + 1.596 * v, y - 0.392 * u - 0.813 * v, y + 2.017 * u) / 255.0;
    gl_FragColor = vec4(clamp(rgb, 0.0, 1.0), 1.0);
}
