#include "colors.inc"
#include "woods.inc"
#include "stones.inc"

camera {
	location <0, 0, 0>
	direction <0, 0, -1>
	up <0, 1, 0>
	right <1.333333, 0, 0,>
	angle 57.8225
	location <0,0,0>
	sky <0,1,0>
	look_at <0,0,-1>
}

light_source { 
	<0.000000, 0.000000, 50000.000000>
	color rgb <1.000000,1.000000,1.000000>
}

global_settings {
	ambient_light rgb <1, 1, 1>
}

#declare TEXTURE1 = texture {
	pigment {
		color rgb <0.8, 0.8, 0.8>
	}
	finish {
		ambient 0
		diffuse 0.7
		specular 0.3
		roughness 0.01
		reflection 0.3
	}
}


#declare TEXTURE2 = texture {
	pigment {
		color rgb <0.8, 0.8, 0.8>
	}
	finish {
		ambient 0
		diffuse 0.7
		specular 0.3
		roughness 0.01
		reflection 0.3
	}
}


mesh {
	smooth_triangle {
		<0.000000, 0.000000, 0.000000>, <0.000000, 0.000000, 1.000000>,
		<1.000000, 0.000000, 0.000000>, <0.000000, 0.000000, 1.000000>,
		<0.000000, 1.000000, 0.000000>, <0.000000, 0.000000, 1.000000>
		texture { TEXTURE1 }
	}
}
