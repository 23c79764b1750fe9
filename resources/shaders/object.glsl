// Object program: points, meshes and primitives. Compiled twice, once with
// VERTEX_PROGRAM and once with FRAGMENT_PROGRAM defined (the version line comes first).
#ifdef VERTEX_PROGRAM
layout(location = 0) in vec3 vertexIn;
layout(location = 1) in vec3 normalIn;
layout(location = 2) in vec3 colorIn;
// Barycentric marker of the corner: three unsigned bytes, not normalised.
layout(location = 3) in vec3 baryPointIn;

uniform int HasNormals = 0;
uniform int HasSingleColor = 0;
uniform int EdgeDrawMode = 0;
uniform float Opacity = 1.0;
uniform vec3 SingleColor;
uniform mat3 NormalMatrix;
uniform mat4 ModelViewMatrix;
uniform mat4 ProjectionMatrix;

out vec3 position;
out vec3 normal;
out vec3 bary;
out vec4 objectColor;

void main() {
    vec4 eye = ModelViewMatrix * vec4(vertexIn, 1.0);
    position = eye.xyz;
    normal = (HasNormals == 1) ? normalize(NormalMatrix * normalIn) : vec3(0.0, 0.0, 1.0);
    bary = baryPointIn;
    objectColor = (HasSingleColor == 1) ? vec4(SingleColor, Opacity) : vec4(colorIn, Opacity);
    gl_Position = ProjectionMatrix * eye;
}
#endif

#ifdef FRAGMENT_PROGRAM
in vec3 position;
in vec3 normal;
in vec3 bary;
in vec4 objectColor;

uniform int HasNormals = 0;
uniform int EdgeDrawMode = 0;

out vec4 fragColor;

const float kRoughness = 0.25;
const float kFresnel0 = 0.75;
const float kMatte = 0.75;

// Cook-Torrance specular term; the sign of the normal does not matter.
float specular(vec3 n, vec3 l, vec3 e, float NdotL) {
    if (NdotL <= 0.001) return 0.0;
    vec3 h = normalize(l + e);
    float NdotH = abs(dot(n, h));
    float NdotV = max(abs(dot(n, e)), 1e-4);
    float VdotH = max(dot(e, h), 1e-4);
    float g = min(1.0, min(2.0 * NdotH * NdotV / VdotH, 2.0 * NdotH * NdotL / VdotH));
    float r2 = kRoughness * kRoughness;
    float nh2 = max(NdotH * NdotH, 1e-6);
    float d = exp((nh2 - 1.0) / (r2 * nh2)) / (4.0 * r2 * nh2 * nh2);
    float f = kFresnel0 + (1.0 - kFresnel0) * pow(max(1.0 - VdotH, 0.0), 5.0);
    return f * g * d / (NdotV * NdotL * 3.14159);
}

void main() {
    float edge = 1.0;
    if (EdgeDrawMode > 0) {
        vec3 bp = vec3(bary.x, bary.y, 1.0 - bary.x - bary.y);
        vec3 deltas = fwidth(bp);
        if (EdgeDrawMode == 1) {
            // A smoothstep whose two edges coincide; GLSL leaves smoothstep undefined
            // there, so its limit, the step, is written out.
            bp = step(deltas, bp);
        } else {
            bp = smoothstep(0.25 * deltas, 1.25 * deltas, bp);
        }
        edge = min(min(bp.x, bp.y), bp.z);
        if (EdgeDrawMode == 1 && edge > 0.9) discard;
    }
    vec3 color = objectColor.rgb;
    if (HasNormals == 1) {
        vec3 n = normalize(normal);
        vec3 e = normalize(-position);
        vec3 lights[2] = vec3[2](vec3(0.0, 1.0, 0.0), vec3(0.0, 0.0, 1.0));
        vec3 sum = vec3(0.0);
        for (int i = 0; i < 2; ++i) {
            float NdotL = abs(dot(n, lights[i]));
            float s = specular(n, lights[i], e, NdotL);
            sum += clamp(objectColor.rgb * NdotL * (kMatte + s * (1.0 - kMatte)), 0.0, 1.0);
        }
        color = sum / 2.0;
    }
    if (EdgeDrawMode == 0) {
        fragColor = vec4(color, objectColor.a);
    } else {
        fragColor = vec4(mix(color, edge * objectColor.rgb, 0.33), objectColor.a);
    }
}
#endif
