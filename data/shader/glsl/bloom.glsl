#version 130
// Glow layer, drawn over a plain copy of the same picture: a soft blur of
// the picture whose opacity follows its brightness, so bright shapes bleed
// light into their dark surroundings while dark areas stay untouched.
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
    gl_FragColor = vec4(min(glow * 1.35, 1.0) * gl_Color.rgb, strength * gl_Color.a);
}
