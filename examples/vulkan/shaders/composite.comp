#version 450
// The scene plus its half-size bloom (sampled bilinearly) times the strength, darkened towards
// the corners by the CPU demo's vignette.
layout(local_size_x = 8, local_size_y = 8) in;
layout(std430, binding = 0) readonly buffer Colour { vec4 pixels[]; } colour;
layout(std430, binding = 1) readonly buffer Bloom { vec4 pixels[]; } bloom;
layout(std430, binding = 2) writeonly buffer Target { vec4 pixels[]; } target;
layout(push_constant) uniform Params { int width; int height; float strength; } params;

vec3 bloomAt(int x, int y, int w, int h) {
    return bloom.pixels[clamp(y, 0, h - 1) * w + clamp(x, 0, w - 1)].rgb;
}

void main() {
    ivec2 p = ivec2(gl_GlobalInvocationID.xy);
    if (p.x >= params.width || p.y >= params.height) return;
    vec3 c = colour.pixels[p.y * params.width + p.x].rgb;
    if (params.strength > 0.0) {
        int w = (params.width + 1) / 2;
        int h = (params.height + 1) / 2;
        vec2 b = (vec2(p) + 0.5) * 0.5 - 0.5;
        ivec2 b0 = ivec2(floor(b));
        vec2 f = b - vec2(b0);
        vec3 top = mix(bloomAt(b0.x, b0.y, w, h), bloomAt(b0.x + 1, b0.y, w, h), f.x);
        vec3 bottom = mix(bloomAt(b0.x, b0.y + 1, w, h), bloomAt(b0.x + 1, b0.y + 1, w, h), f.x);
        c += params.strength * mix(top, bottom, f.y);
    }
    vec2 centre = 0.5 * vec2(params.width, params.height);
    vec2 d = (vec2(p) + 0.5 - centre) / length(centre);
    c *= 1.0 - 0.65 * pow(dot(d, d), 1.3);
    target.pixels[p.y * params.width + p.x] = vec4(c, 1.0);
}
