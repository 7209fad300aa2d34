// Glow layer, drawn over a plain copy of the same picture: a soft blur of
// the picture whose opacity follows its brightness, so bright shapes bleed
// light into their dark surroundings while dark areas stay untouched.
// Eight taps on two rings: wide enough to see, cheap enough per frame.
uniform sampler2D picture;

void main()
{
    vec2 uv = gl_TexCoord[0].st;
    const float r = 0.0045;
    vec3 near = texture2D(picture, uv + vec2( r, 0.0)).rgb
              + texture2D(picture, uv + vec2(-r, 0.0)).rgb
              + texture2D(picture, uv + vec2(0.0,  r)).rgb
              + texture2D(picture, uv + vec2(0.0, -r)).rgb;
    vec3 far  = texture2D(picture, uv + vec2( 2.1 * r,  2.1 * r)).rgb
              + texture2D(picture, uv + vec2(-2.1 * r,  2.1 * r)).rgb
              + texture2D(picture, uv + vec2( 2.1 * r, -2.1 * r)).rgb
              + texture2D(picture, uv + vec2(-2.1 * r, -2.1 * r)).rgb;
    vec3 glow = near * 0.16 + far * 0.09;
    float strength = clamp(max(glow.r, max(glow.g, glow.b)) * 0.75, 0.0, 0.7);
    gl_FragColor = vec4(min(glow * 1.35, 1.0) * gl_Color.rgb, strength * gl_Color.a);
}
