#version 450
// The scene accumulated across frames: this frame's share of it over what was accumulated up to
// the frame before (sampled at the same pixel), or the scene alone when the share is 1 (there is
// no history to blend with).
layout(local_size_x = 8, local_size_y = 8) in;
layout(binding = 0) uniform sampler2D history;
layout(binding = 1, rgba16f) uniform readonly image2D colour;
layout(binding = 2, rgba16f) uniform writeonly image2D target;
layout(push_constant) uniform Params { int width; int height; float share; } params;

void main() {
    ivec2 p = ivec2(gl_GlobalInvocationID.xy);
    if (p.x >= params.width || p.y >= params.height) return;
    vec3 c = imageLoad(colour, p).rgb;
    if (params.share < 1.0) c = mix(texelFetch(history, p, 0).rgb, c, params.share);
    imageStore(target, p, vec4(c, 1.0));
}
