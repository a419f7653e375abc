#version 450
// The scene plus its half-size bloom (sampled bilinearly, clamped at the edges) times the
// strength, darkened towards the corners by the CPU demo's vignette.
layout(local_size_x = 8, local_size_y = 8) in;
layout(binding = 0) uniform sampler2D bloom;
layout(binding = 1, rgba16f) uniform readonly image2D colour;
layout(binding = 2, rgba16f) uniform writeonly image2D target;
layout(push_constant) uniform Params { int width; int height; float strength; } params;

void main() {
    ivec2 p = ivec2(gl_GlobalInvocationID.xy);
    if (p.x >= params.width || p.y >= params.height) return;
    vec3 c = imageLoad(colour, p).rgb;
    if (params.strength > 0.0) {
        vec2 bloomSize = vec2((params.width + 1) / 2, (params.height + 1) / 2);
        c += params.strength * textureLod(bloom, (vec2(p) + 0.5) * 0.5 / bloomSize, 0.0).rgb;
    }
    vec2 centre = 0.5 * vec2(params.width, params.height);
    vec2 d = (vec2(p) + 0.5 - centre) / length(centre);
    c *= 1.0 - 0.65 * pow(dot(d, d), 1.3);
    imageStore(target, p, vec4(c, 1.0));
}
