#version 130
// The picture with its glow, in one pass: a plain copy of the picture and,
// over it, a soft blur of the picture whose opacity follows its brightness,
// so bright shapes bleed light into their dark surroundings while dark
// areas stay untouched. The two layers are mixed here and leave as one
// colour and opacity, which the caller's blending lays over the window
// exactly as the copy and then the glow would be laid one after the other:
// a software renderer pays for every full-window pass.
// Eight taps on two rings, read as single texels: a filtered read costs a
// software renderer about four times as much, and the taps lie far enough
// apart that filtering them adds nothing to the look. Offsets follow the
// picture's size; reads beyond an edge wrap round, as the texture does.
uniform sampler2D picture;

vec3 tap(ivec2 p, ivec2 size)
{
    p += size * (ivec2(lessThan(p, ivec2(0))) - ivec2(greaterThanEqual(p, size)));
    return texelFetch(picture, p, 0).rgb;
}

void main()
{
    const float r = 0.0045;
    ivec2 size = textureSize(picture, 0);
    ivec2 p = ivec2(gl_TexCoord[0].st * vec2(size));
    ivec2 n = ivec2(floor(r * vec2(size) + 0.5));
    ivec2 f = ivec2(floor(2.1 * r * vec2(size) + 0.5));
    vec3 near = tap(p + ivec2( n.x, 0), size) + tap(p + ivec2(-n.x, 0), size)
              + tap(p + ivec2(0,  n.y), size) + tap(p + ivec2(0, -n.y), size);
    vec3 far  = tap(p + ivec2( f.x,  f.y), size) + tap(p + ivec2(-f.x,  f.y), size)
              + tap(p + ivec2( f.x, -f.y), size) + tap(p + ivec2(-f.x, -f.y), size);
    vec3 glow = near * 0.16 + far * 0.09;
    float strength = clamp(max(glow.r, max(glow.g, glow.b)) * 0.75, 0.0, 0.7);
    vec4 glowLayer = vec4(min(glow * 1.35, 1.0) * gl_Color.rgb, strength * gl_Color.a);
    vec4 copy = texture2D(picture, gl_TexCoord[0].st) * gl_Color;
    // copy over the window, then the glow over that:
    // g.a * g.rgb + (1 - g.a) * c.a * c.rgb + (1 - g.a) * (1 - c.a) * window
    float a = 1.0 - (1.0 - glowLayer.a) * (1.0 - copy.a);
    vec3 rgb = glowLayer.a * glowLayer.rgb + (1.0 - glowLayer.a) * copy.a * copy.rgb;
    gl_FragColor = vec4(a > 0.0 ? rgb / a : vec3(0.0), a);
}
