// The city seen on an old monitor: scan lines, a slight colour split, a
// cool phosphor tint and darkened corners. The caller's colour and alpha
// still tint and blend the result.
uniform sampler2D picture;

void main()
{
    vec2 uv = gl_TexCoord[0].st;
    float split = 0.0025;
    vec3 c;
    c.r = texture2D(picture, uv + vec2(split, 0.0)).r;
    c.g = texture2D(picture, uv).g;
    c.b = texture2D(picture, uv - vec2(split, 0.0)).b;
    float scan = 0.78 + 0.22 * step(1.0, mod(gl_FragCoord.y, 3.0));
    vec2 d = uv - 0.5;
    float vignette = clamp(1.25 - dot(d, d) * 1.6, 0.0, 1.0);
    vec3 tint = vec3(0.85, 1.0, 1.1);
    gl_FragColor = vec4(c * tint * scan * vignette, 1.0) * gl_Color;
}
