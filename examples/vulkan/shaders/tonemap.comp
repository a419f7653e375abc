#version 450
// Exposure, a filmic curve and sRGB encoding, as 8-bit RGBA for the read-back.
layout(local_size_x = 8, local_size_y = 8) in;
layout(binding = 1, rgba16f) uniform readonly image2D source;
layout(binding = 3, rgba8) uniform writeonly image2D picture;
layout(push_constant) uniform Params { int width; int height; float exposure; } params;

vec3 filmic(vec3 x) {
    return clamp((x * (2.51 * x + 0.03)) / (x * (2.43 * x + 0.59) + 0.14), 0.0, 1.0);
}

vec3 srgb(vec3 linear) {
    return mix(12.92 * linear, 1.055 * pow(linear, vec3(1.0 / 2.4)) - 0.055,
               step(vec3(0.0031308), linear));
}

void main() {
    ivec2 p = ivec2(gl_GlobalInvocationID.xy);
    if (p.x >= params.width || p.y >= params.height) return;
    vec3 c = srgb(filmic(max(imageLoad(source, p).rgb, 0.0) * params.exposure));
    imageStore(picture, p, vec4(c, 1.0));
}
