[profile]
name=Office
font=Monospace 11
scrollback-lines=10000
cursor-shape=ibeam
cursor-blink=false
audible-bell=false
colors=solarized-dark
word-chars=-A-Za-z0-9,./?%&#:_=+@~
